#include "fake_view.h"
#include "run/engine.h"

#include <QTest>

#include <arpa/inet.h>

namespace {

// "name flags address" entries separated by ';' — flags: U up, L loopback, '-' neither.
QList<LocalAddress::Interface> interfaces(const QString& description)
{
    QList<LocalAddress::Interface> list;
    for (const QString& entry : description.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts = entry.trimmed().split(QLatin1Char(' '));
        LocalAddress::Interface item;
        item.name = parts.value(0).toLatin1();
        item.up = parts.value(1).contains(QLatin1Char('U'));
        item.loopback = parts.value(1).contains(QLatin1Char('L'));
        item.ipv4 = parts.value(2);
        list << item;
    }
    return list;
}

const QByteArray kRouteHeader("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n");

QByteArray route(const char* iface, const char* destination, const char* flags, int metric, const char* mask)
{
    return QByteArray(iface) + '\t' + destination + "\t010200C0\t" + flags + "\t0\t0\t" + QByteArray::number(metric) +
           '\t' + mask + "\t0\t0\t0\n";
}

} // namespace

class TestLocalLookup : public QObject
{
    Q_OBJECT
private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 0))); }
    void cleanup() { Clock::reset(); }

    void defaultRouteInterface_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("iface");
        QTest::newRow("one default route") << kRouteHeader + route("eth0", "00000000", "0003", 0, "00000000") +
                                                  route("eth0", "000200C0", "0001", 0, "00FFFFFF")
                                           << QByteArray("eth0");
        QTest::newRow("lowest metric wins") << kRouteHeader + route("wlan0", "00000000", "0003", 600, "00000000") +
                                                   route("eth1", "00000000", "0003", 100, "00000000")
                                            << QByteArray("eth1");
        QTest::newRow("route not up ignored")
            << kRouteHeader + route("eth0", "00000000", "0002", 0, "00000000") << QByteArray();
        QTest::newRow("only subnet routes")
            << kRouteHeader + route("eth0", "000200C0", "0001", 0, "00FFFFFF") << QByteArray();
        QTest::newRow("header only") << kRouteHeader << QByteArray();
        QTest::newRow("no table") << QByteArray() << QByteArray();
        QTest::newRow("garbage") << kRouteHeader + "eth0 zz\n\n" << QByteArray();
    }
    void defaultRouteInterface()
    {
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, iface);
        QCOMPARE(LocalAddress::defaultRouteInterface(table), iface);
    }

    void chooseAddress_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QByteArray>("defaultIface");
        QTest::addColumn<QString>("address");
        const QString usual = QStringLiteral("lo UL 127.0.0.1; docker0 U 172.17.0.1; eth0 U 192.168.1.20");
        QTest::newRow("default route's interface") << usual << QByteArray("eth0") << QStringLiteral("192.168.1.20");
        QTest::newRow("no default route: first up non-loopback")
            << usual << QByteArray() << QStringLiteral("172.17.0.1");
        QTest::newRow("default route on an interface without IPv4")
            << usual << QByteArray("ppp0") << QStringLiteral("172.17.0.1");
        QTest::newRow("down interfaces skipped") << QStringLiteral("lo UL 127.0.0.1; eth0 - 10.0.0.1; eth1 U 10.0.0.2")
                                                 << QByteArray() << QStringLiteral("10.0.0.2");
        QTest::newRow("default route's interface down")
            << QStringLiteral("eth0 - 10.0.0.1; eth1 U 10.0.0.2") << QByteArray("eth0") << QStringLiteral("10.0.0.2");
        QTest::newRow("loopback only") << QStringLiteral("lo UL 127.0.0.1") << QByteArray("lo") << QString();
        QTest::newRow("no interfaces") << QString() << QByteArray() << QString();
    }
    void chooseAddress()
    {
        QFETCH(QString, list);
        QFETCH(QByteArray, defaultIface);
        QFETCH(QString, address);
        QCOMPARE(LocalAddress::chooseAddress(interfaces(list), defaultIface), address);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("chikanTo0");
        QTest::newRow("address found") << QStringLiteral("lo UL 127.0.0.1; eth0 U 192.168.1.20") << 1
                                       << QStringLiteral("192.168.1.20") << QStringLiteral("192.168.1.20");
        QTest::newRow("none") << QStringLiteral("lo UL 127.0.0.1") << 0 << QStringLiteral("未取得")
                              << QStringLiteral("HOSTNAME");
    }
    void lookup()
    {
        QFETCH(QString, list);
        QFETCH(int, state);
        QFETCH(QString, caption);
        QFETCH(QString, chikanTo0);
        FakeView view;
        const CodePage codePage("windows-31j"); // the engine keeps a reference
        Engine engine(view, codePage);
        engine.Winsock1.setSources([list] { return interfaces(list); },
                                   [] { return kRouteHeader + route("eth0", "00000000", "0003", 0, "00000000"); });
        engine.IpCheckState = -1;
        engine.LocalIPaddress();
        QCOMPARE(int(engine.IpCheckState), state);
        QCOMPARE(view.ipAddressHistory, QStringList({QStringLiteral("IPアドレス確認中"), caption}));
        QCOMPARE(view.chikanTo0, chikanTo0);
        QCOMPARE(view.chikanTo1, QStringLiteral("2026/12/06"));
    }

    void realInterfaces()
    {
        FakeView view;
        Engine engine(view);
        engine.LocalIPaddress();
        if (engine.IpCheckState == 1) {
            in_addr parsed{};
            QVERIFY2(inet_pton(AF_INET, view.ipAddress.toLatin1().constData(), &parsed) == 1,
                     qPrintable(view.ipAddress));
            QVERIFY(!view.ipAddress.startsWith(QLatin1String("127.")));
            QCOMPARE(view.chikanTo0, view.ipAddress);
        } else {
            QCOMPARE(int(engine.IpCheckState), 0);
            QCOMPARE(view.ipAddress, QStringLiteral("未取得"));
            QCOMPARE(view.chikanTo0, QStringLiteral("HOSTNAME"));
        }
    }
};

QTEST_GUILESS_MAIN(TestLocalLookup)
#include "test_local_lookup.moc"
