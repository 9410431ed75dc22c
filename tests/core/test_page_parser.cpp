#include "ipcheck/address_check.h"
#include "ipcheck/page_parser.h"

#include <QTest>

class TestPageParser : public QObject
{
    Q_OBJECT
private slots:
    void cutIpAddress_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("result");
        const auto row = [](const char* name, const QString& line, const QString& result) {
            QTest::newRow(name) << line << result;
        };
        row("marker 7, '<' ends the window", QStringLiteral("CURRENT IP ADDRESS: 192.0.2.7</BODY></HTML>"),
            QStringLiteral("192.0.2.7"));
        row("list order beats position", QStringLiteral("YOUR IP IS 198.51.100.1, IP ADDRESS IS: 203.0.113.5"),
            QStringLiteral("203.0.113.5"));
        row("lower-case page text", QStringLiteral("your ip is 198.51.100.4<br>"), QStringLiteral("198.51.100.4"));
        row("address ends the line", QStringLiteral("YOUR IP IS 198.51.100.4"), QStringLiteral("198.51.100.4"));
        row("leading <B> stripped", QStringLiteral("IP ADDRESS:<B>203.0.113.9</B></TD></TR>"),
            QStringLiteral("203.0.113.9"));
        row("appended space beats '<'", QStringLiteral("IP ADDRESS:<B>203.0.113.9</B>"),
            QStringLiteral("203.0.113.9</B>"));
        row("closing tag kept", QStringLiteral("YOUR IP IS 192.0.2.1</B> NOW"), QStringLiteral("192.0.2.1</B>"));
        row("appended space is the 7th character", QStringLiteral("IP ADDRESS: 1.2.3"), QStringLiteral("1.2.3"));
        row("marker at the very end", QStringLiteral("CHECK: YOUR IP IS"), QString());
        row("no terminator from the 7th character", QStringLiteral("YOUR IP IS 203.000.113.005.0000000"), QString());
        row("text that is no address", QStringLiteral("YOUR IP IS NOT AVAILABLE"), QStringLiteral("NOTAVAILABLE"));
        row("line feed deleted, not a space", QStringLiteral("YOUR IP IS\n198.51.100.4"), QString());
        row("no marker", QStringLiteral("<HTML><BODY>HELLO 192.0.2.1</BODY>"), QString());
        row("empty line", QString(), QString());
        row("marker 1 (Japanese)",
            QStringLiteral("<TR><TH>上記ホスト名の正引き</TH><TD> : 192.0.2.44</TD></TR></TABLE>"),
            QStringLiteral("192.0.2.44"));
        row("marker 2", QStringLiteral("<p class=\"inlinesans\"><b>192.0.2.8</b></p></body>"),
            QStringLiteral("192.0.2.8"));
        row("marker 3, two spaces", QStringLiteral("Your IP address is  <b>192.0.2.9</b></font></p>"),
            QStringLiteral("192.0.2.9"));
        row("marker 4, <BR> cleaned up", QStringLiteral("Your IP address is <br>192.0.2.10<br>"),
            QStringLiteral("192.0.2.10"));
        row("marker 5", QStringLiteral("Your IP address: 192.0.2.11"), QStringLiteral("192.0.2.11"));
        row("marker 3 with one space falls to marker 7",
            QStringLiteral("YOUR IP ADDRESS IS <B>192.0.2.12</B></P></BODY>"), QString());
        row("tab and CR deleted", QStringLiteral("IP ADDRESS:\t192.0.2.12\r"), QStringLiteral("192.0.2.12"));
        row("vertical tab tried before space", QStringLiteral("YOUR IP IS 192.0.2.13 X\vY"),
            QStringLiteral("192.0.2.13X"));
        row("form feed tried before space", QStringLiteral("YOUR IP IS 192.0.2.13 X\fY"),
            QStringLiteral("192.0.2.13X"));
        row("terminators among the first six unseen", QStringLiteral("YOUR IP IS 1 2.3.4.5"),
            QStringLiteral("12.3.4.5"));
        row("markers 4 and 5 on one line: list order decides, not position",
            QStringLiteral("YOUR IP ADDRESS: 198.51.100.5 YOUR IP ADDRESS IS <BR>203.0.113.6<BR>"),
            QStringLiteral("203.0.113.6"));
        row("terminator as the window's 20th character", QStringLiteral("IP ADDRESS:192.000.002.0000007<X"),
            QStringLiteral("192.000.002.0000007"));
        row("terminator as the 21st character is outside the window",
            QStringLiteral("IP ADDRESS:192.000.002.00000007<X"), QString());
        row("'<' as the window's 6th character unseen", QStringLiteral("IP ADDRESS:1.2.3<4.5.6.7<XXXXXXXXXXXX"),
            QStringLiteral("1.2.3<4.5.6.7"));
        row("'<' as the window's 7th character seen", QStringLiteral("IP ADDRESS:12.3.4<5.6.7.8<XXXXXXXXXXX"),
            QStringLiteral("12.3.4"));
        row("vertical tab among the first six unseen", QStringLiteral("IP ADDRESS:1.2\v3.4<XXXXXXXXXXXXXXXX"),
            QStringLiteral("1.2\v3.4"));
        row("comma ends it", QStringLiteral("IP ADDRESS:192.0.2.14,HOST,X.EXAMPLE.ORG"), QStringLiteral("192.0.2.14"));
        row("clean-up order: <BR> before <B>", QStringLiteral("IP ADDRESS:<B<BR>>9.9.9.9</TD></TR>"),
            QStringLiteral("9.9.9.9"));
        row("'=' and '<P' cleaned up", QStringLiteral("IP ADDRESS:=<P>9.8.7.6</P></BODY>"), QStringLiteral(">9.8.7.6"));
    }
    void cutIpAddress()
    {
        QFETCH(QString, line);
        QFETCH(QString, result);
        QCOMPARE(Cut_IP_address(line), result);
    }

    // A marker is found wherever it stands in a line, however long (minified pages are one line).
    void positions_data()
    {
        QTest::addColumn<int>("leading");
        QTest::newRow("marker at position 32,767") << 32766;
        QTest::newRow("marker at position 32,768") << 32767;
        QTest::newRow("marker far beyond, in a 40,000-character line") << 39900;
    }
    void positions()
    {
        QFETCH(int, leading);
        const QString line = QString(leading, QLatin1Char('x')) + QStringLiteral("YOUR IP IS 192.0.2.1</B></P></BODY>");
        QCOMPARE(Cut_IP_address(line), QStringLiteral("192.0.2.1"));
    }

    void leadingAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        QTest::newRow("plain") << QStringLiteral("192.0.2.7") << QStringLiteral("192.0.2.7");
        QTest::newRow("closing tag after") << QStringLiteral("203.0.113.9</B>") << QStringLiteral("203.0.113.9");
        QTest::newRow("full stop after") << QStringLiteral("192.0.2.7.") << QStringLiteral("192.0.2.7");
        QTest::newRow("words") << QStringLiteral("NOTAVAILABLE") << QString();
        QTest::newRow("letters glued on") << QStringLiteral("1.2.3.4ABC") << QString();
        QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << QString();
        QTest::newRow("three parts") << QStringLiteral("1.2.3") << QString();
        QTest::newRow("octet too big") << QStringLiteral("1.2.3.256") << QString();
        QTest::newRow("unspecified") << QStringLiteral("0.0.0.0") << QString();
        QTest::newRow("loopback") << QStringLiteral("127.0.0.1") << QString();
        QTest::newRow("loopback net") << QStringLiteral("127.8.9.10</B>") << QString();
        QTest::newRow("private kept") << QStringLiteral("10.0.0.5") << QStringLiteral("10.0.0.5");
        QTest::newRow("IPv6") << QStringLiteral("2001:DB8::1</B>") << QStringLiteral("2001:DB8::1");
        QTest::newRow("IPv6 loopback") << QStringLiteral("::1") << QString();
        QTest::newRow("IPv6 unspecified") << QStringLiteral("::") << QString();
        QTest::newRow("NUL after") << QStringLiteral("203.0.113.9") + QChar(0) + QStringLiteral("<B>") << QString();
        QTest::newRow("NUL inside") << QStringLiteral("203.0") + QChar(0) + QStringLiteral(".113.9") << QString();
        QTest::newRow("IPv4-mapped loopback") << QStringLiteral("::FFFF:127.0.0.1") << QString();
        QTest::newRow("IPv4-mapped 0.0.0.0") << QStringLiteral("::FFFF:0.0.0.0") << QString();
        QTest::newRow("IPv4-compatible loopback") << QStringLiteral("::127.0.0.1") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void leadingAddress()
    {
        QFETCH(QString, text);
        QFETCH(QString, address);
        QCOMPARE(AddressCheck::leadingAddress(text), address);
    }
};

QTEST_GUILESS_MAIN(TestPageParser)
#include "test_page_parser.moc"
