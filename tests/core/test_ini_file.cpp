#include "settings/ini_file.h"
#include "test_files.h"
#include "unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file written from the start-up defaults, one record a line (the file itself ends lines with CR LF).
const char* const DefaultFileLines[] = {
    "\"GLOBALURL\",0,\"http://checkip.dyndns.org/\"",
    "\"USEROUTE\",0,0",
    "\"FTPSERVERNAME\",0,\"ftp://\"",
    "\"FTPUSERID\",0,\"\"",
    "\"FTPUSERPASS\",0,\"\"",
    "\"TASKTRAY\",0,0",
    "\"AUTOEXEC\",0,0",
    "\"TIMERSET\",0,\"5\"",
    "\"LOG\",0,0",
    "\"OKCHECK\",0,0",
    "\"TEMPLATE\",0,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",0,\"HOSTNAME\"",
    "\"NOWDTTM\",0,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",0,1",
    "\"NOWDTTMEXEC\",0,1",
    "\"FTPDIR\",0,\"public_html/\"",
    "\"FTPFILENAME\",0,\"testpage1.html\"",
    "\"EXEC_TIMING1\",0,#FALSE#",
    "\"EXEC_TIMING2\",0,#TRUE#",
    "\"EXEC_TIMING3\",0,#FALSE#",
    "\"OKCHECK\",1,0",
    "\"TEMPLATE\",1,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",1,\"HOSTNAME\"",
    "\"NOWDTTM\",1,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",1,1",
    "\"NOWDTTMEXEC\",1,1",
    "\"FTPDIR\",1,\"public_html/\"",
    "\"FTPFILENAME\",1,\"testpage2.html\"",
    "\"EXEC_TIMING1\",1,#FALSE#",
    "\"EXEC_TIMING2\",1,#TRUE#",
    "\"EXEC_TIMING3\",1,#FALSE#",
    "\"OKCHECK\",2,0",
    "\"TEMPLATE\",2,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",2,\"HOSTNAME\"",
    "\"NOWDTTM\",2,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",2,1",
    "\"NOWDTTMEXEC\",2,1",
    "\"FTPDIR\",2,\"public_html/\"",
    "\"FTPFILENAME\",2,\"testpage3.html\"",
    "\"EXEC_TIMING1\",2,#FALSE#",
    "\"EXEC_TIMING2\",2,#TRUE#",
    "\"EXEC_TIMING3\",2,#FALSE#",
    "\"OKCHECK\",3,0",
    "\"TEMPLATE\",3,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",3,\"HOSTNAME\"",
    "\"NOWDTTM\",3,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",3,1",
    "\"NOWDTTMEXEC\",3,1",
    "\"FTPDIR\",3,\"public_html/\"",
    "\"FTPFILENAME\",3,\"testpage4.html\"",
    "\"EXEC_TIMING1\",3,#FALSE#",
    "\"EXEC_TIMING2\",3,#TRUE#",
    "\"EXEC_TIMING3\",3,#FALSE#",
    "\"OKCHECK\",4,0",
    "\"TEMPLATE\",4,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",4,\"HOSTNAME\"",
    "\"NOWDTTM\",4,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",4,1",
    "\"NOWDTTMEXEC\",4,1",
    "\"FTPDIR\",4,\"public_html/\"",
    "\"FTPFILENAME\",4,\"testpage5.html\"",
    "\"EXEC_TIMING1\",4,#FALSE#",
    "\"EXEC_TIMING2\",4,#TRUE#",
    "\"EXEC_TIMING3\",4,#FALSE#",
    "\"OKCHECK\",5,0",
    "\"TEMPLATE\",5,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",5,\"HOSTNAME\"",
    "\"NOWDTTM\",5,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",5,1",
    "\"NOWDTTMEXEC\",5,1",
    "\"FTPDIR\",5,\"public_html/\"",
    "\"FTPFILENAME\",5,\"testpage6.html\"",
    "\"EXEC_TIMING1\",5,#FALSE#",
    "\"EXEC_TIMING2\",5,#TRUE#",
    "\"EXEC_TIMING3\",5,#FALSE#",
    "\"OKCHECK\",6,0",
    "\"TEMPLATE\",6,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",6,\"HOSTNAME\"",
    "\"NOWDTTM\",6,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",6,1",
    "\"NOWDTTMEXEC\",6,1",
    "\"FTPDIR\",6,\"public_html/\"",
    "\"FTPFILENAME\",6,\"testpage7.html\"",
    "\"EXEC_TIMING1\",6,#FALSE#",
    "\"EXEC_TIMING2\",6,#TRUE#",
    "\"EXEC_TIMING3\",6,#FALSE#",
    "\"OKCHECK\",7,0",
    "\"TEMPLATE\",7,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",7,\"HOSTNAME\"",
    "\"NOWDTTM\",7,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",7,1",
    "\"NOWDTTMEXEC\",7,1",
    "\"FTPDIR\",7,\"public_html/\"",
    "\"FTPFILENAME\",7,\"testpage8.html\"",
    "\"EXEC_TIMING1\",7,#FALSE#",
    "\"EXEC_TIMING2\",7,#TRUE#",
    "\"EXEC_TIMING3\",7,#FALSE#",
    "\"OKCHECK\",8,0",
    "\"TEMPLATE\",8,\"TEMPLATE.HTML\"",
    "\"HOSTNAME\",8,\"HOSTNAME\"",
    "\"NOWDTTM\",8,\"NOWDTTM\"",
    "\"HOSTNAMEEXEC\",8,1",
    "\"NOWDTTMEXEC\",8,1",
    "\"FTPDIR\",8,\"public_html/\"",
    "\"FTPFILENAME\",8,\"testpage9.html\"",
    "\"EXEC_TIMING1\",8,#FALSE#",
    "\"EXEC_TIMING2\",8,#TRUE#",
    "\"EXEC_TIMING3\",8,#FALSE#",
};

QByteArray defaultFile()
{
    QByteArray bytes;
    for (const char* line : DefaultFileLines)
        bytes += QByteArray(line) + "\r\n";
    return bytes;
}

const QString Absent = QStringLiteral("<absent>");
const QString Directory = QStringLiteral("<directory>");

SettingsModel defaults()
{
    SettingsModel model;
    model.applyDefaults();
    return model;
}

// Every stored field as "KEY" (shared) or "n.KEY" (slot entry n) => text, to compare whole models.
QMap<QString, QString> storedFields(const SettingsModel& m)
{
    auto flag = [](bool b) { return b ? QStringLiteral("true") : QStringLiteral("false"); };
    QMap<QString, QString> f;
    f[QStringLiteral("GLOBALURL")] = m.global.GLOBALURL;
    f[QStringLiteral("USEROUTE")] = QString::number(m.global.USEROUTE);
    f[QStringLiteral("FTPSERVERNAME")] = m.global.FTPSERVERNAME;
    f[QStringLiteral("FTPUSERID")] = m.global.FTPUSERID;
    f[QStringLiteral("FTPUSERPASS")] = m.global.FTPUSERPASS;
    f[QStringLiteral("TASKTRAY")] = QString::number(m.global.TASKTRAY);
    f[QStringLiteral("AUTOEXEC")] = QString::number(m.global.AUTOEXEC);
    f[QStringLiteral("TIMERSET")] = m.global.TIMERSET;
    f[QStringLiteral("LOG")] = QString::number(m.global.LOG);
    f[QStringLiteral("USEIPV6")] = QString::number(m.global.USEIPV6);
    f[QStringLiteral("GLOBALURL6")] = m.global.GLOBALURL6;
    for (int i = 0; i < SlotTableSize; ++i) {
        const TransferSlot& s = m.slot[i];
        const QString p = QString::number(i) + QLatin1Char('.');
        f[p + QStringLiteral("OKCHECK")] = QString::number(s.OKCHECK);
        f[p + QStringLiteral("TEMPLATE")] = s.TEMPLATE;
        f[p + QStringLiteral("HOSTNAME")] = s.HOSTNAME;
        f[p + QStringLiteral("NOWDTTM")] = s.NOWDTTM;
        f[p + QStringLiteral("HOSTNAMEEXEC")] = QString::number(s.HOSTNAMEEXEC);
        f[p + QStringLiteral("NOWDTTMEXEC")] = QString::number(s.NOWDTTMEXEC);
        f[p + QStringLiteral("FTPDIR")] = s.FTPDIR;
        f[p + QStringLiteral("FTPFILENAME")] = s.FTPFILENAME;
        f[p + QStringLiteral("EXEC_TIMING1")] = flag(s.EXEC_TIMING1);
        f[p + QStringLiteral("EXEC_TIMING2")] = flag(s.EXEC_TIMING2);
        f[p + QStringLiteral("EXEC_TIMING3")] = flag(s.EXEC_TIMING3);
        f[p + QStringLiteral("HOSTNAME6")] = s.HOSTNAME6;
        f[p + QStringLiteral("HOSTNAME6EXEC")] = QString::number(s.HOSTNAME6EXEC);
    }
    return f;
}

int modeOf(const QString& name)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(name).constData(), &st) != 0)
        return -1;
    return int(st.st_mode & 07777);
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

    std::unique_ptr<TemporaryWorkDir> m_dir;

    // Puts the named file in place: its text in the codec, or a directory in its stead, or nothing.
    void place(const char* name, const QString& content, const CodePage& page)
    {
        if (content == Absent)
            return;
        if (content == Directory) {
            QVERIFY(QDir().mkdir(QString::fromLatin1(name)));
            return;
        }
        // A leading U+FEFF stands for the UTF-8 byte-order mark an editor puts in front, whatever the code page.
        const QChar bom(0xFEFF);
        QVERIFY(writeFile(QString::fromLatin1(name), content.startsWith(bom)
                                                         ? "\xEF\xBB\xBF" + page.encode(content.sliced(1))
                                                         : page.encode(content)));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<TemporaryWorkDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { m_dir.reset(); }

    void defaultFileByteForByte_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QByteArray>("ipv6Records"); // what follows the 108 records
        QTest::newRow("windows-31j") << QByteArray("windows-31j") << QByteArray();
        QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray();
        QByteArray ipv6("\"USEIPV6\",0,2\r\n\"GLOBALURL6\",0,\"http://checkipv6.dyndns.org/\"\r\n");
        for (int s = 0; s < 9; ++s)
            ipv6 += QStringLiteral("\"HOSTNAME6\",%1,\"HOSTNAME6\"\r\n\"HOSTNAME6EXEC\",%1,%2\r\n")
                        .arg(s)
                        .arg(s == 4 ? 1 : 0)
                        .toLatin1();
        QTest::newRow("IPv6 in use: its records after the others, read back") << QByteArray("UTF-8") << ipv6;
    }
    void defaultFileByteForByte()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QByteArray, ipv6Records);
        const QByteArray expected = defaultFile() + ipv6Records;
        QCOMPARE(defaultFile().count("\r\n"), 108);
        QVERIFY(expected.startsWith("\"GLOBALURL\",0,\"http://checkip.dyndns.org/\"\r\n"));

        SettingsModel model = defaults();
        if (!ipv6Records.isEmpty()) {
            model.global.USEIPV6 = Ipv6Interface;
            model.slot[4].HOSTNAME6EXEC = 1;
        }
        QVERIFY(Save_ini(model, CodePage(codec)));
        const QByteArray written = fileBytes(QString::fromLatin1(SettingsFileName));
        const QList<QByteArray> writtenLines = written.split('\n');
        const QList<QByteArray> expectedLines = expected.split('\n');
        QCOMPARE(writtenLines.size(), expectedLines.size());
        for (int i = 0; i < expectedLines.size(); ++i)
            QCOMPARE(writtenLines[i], expectedLines[i]);
        QCOMPARE(written, expected);
        QVERIFY(!QFile::exists(QString::fromLatin1(PreviousSettingsFileName)));
        SettingsModel back = defaults();
        QCOMPARE(readIni(written, back, CodePage(codec)), IniReadEnd::Complete);
        QCOMPARE(storedFields(back), storedFields(model));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("ini050");
        QTest::addColumn<QString>("ini040");
        QTest::addColumn<QStringList>("changed"); // "KEY=value" or "n.KEY=value"; everything else keeps its default
        QTest::addColumn<QList<int>>("faultLines"); // the lines reported as unreadable

        const QByteArray sjis("windows-31j");
        const QByteArray utf8("UTF-8");
        auto row = [&](const char* name, const QString& ini050, const QString& ini040, const QStringList& changed,
                       const QList<int>& faultLines = {}) {
            for (const QByteArray& codec : {sjis, utf8})
                QTest::addRow("%s, %s", name, codec.constData()) << codec << ini050 << ini040 << changed << faultLines;
        };
        const QString none = Absent;

        row("neither file: defaults", none, none, {});
        row("040 only is read", none, QStringLiteral("\"TIMERSET\",0,\"10\"\r\n\"FTPUSERID\",0,\"old\"\r\n"),
            {QStringLiteral("TIMERSET=10"), QStringLiteral("FTPUSERID=old")});
        row("050 wins over 040", QStringLiteral("\"FTPUSERID\",0,\"new\"\r\n"),
            QStringLiteral("\"FTPUSERID\",0,\"old\"\r\n\"LOG\",0,1\r\n"), {QStringLiteral("FTPUSERID=new")});
        row("empty 050: 040 not consulted", QString(), QStringLiteral("\"FTPUSERID\",0,\"old\"\r\n"), {});
        row("050 not openable (a directory): 040 read", Directory, QStringLiteral("\"LOG\",0,1\r\n"),
            {QStringLiteral("LOG=1")});
        row("IPv6 records read", QStringLiteral("\"LOG\",0,1\r\n\"USEIPV6\",0,1\r\n\"HOSTNAME6\",2,\"V6\"\r\n"), none,
            {QStringLiteral("LOG=1"), QStringLiteral("USEIPV6=1"), QStringLiteral("2.HOSTNAME6=V6")});
        row("slot index 9 and 10 read", QStringLiteral("\"FTPDIR\",9,\"nine\"\r\n\"OKCHECK\",10,1\r\n"), none,
            {QStringLiteral("9.FTPDIR=nine"), QStringLiteral("10.OKCHECK=1")});
        // A faulty record is reported with its line and has no effect; the records after it keep theirs.
        const QStringList logAndTray{QStringLiteral("LOG=1"), QStringLiteral("TASKTRAY=1")};
        row("slot index 11 reported, the rest read",
            QStringLiteral("\"LOG\",0,1\r\n\"OKCHECK\",11,1\r\n\"TASKTRAY\",0,1\r\n"), none, logAndTray, {2});
        row("slot index -1 reported, the rest read",
            QStringLiteral("\"LOG\",0,1\r\n\"OKCHECK\",-1,1\r\n\"TASKTRAY\",0,1\r\n"), none, logAndTray, {2});
        row("slot index not a number reported, the rest read",
            QStringLiteral("\"LOG\",0,1\r\n\"OKCHECK\",\"one\",1\r\n\"TASKTRAY\",0,1\r\n"), none, logAndTray, {2});
        row("slot index #NULL# reported, the rest read",
            QStringLiteral("\"LOG\",0,1\r\n\"OKCHECK\",#NULL#,1\r\n\"TASKTRAY\",0,1\r\n"), none, logAndTray, {2});
        row("empty slot index is 0", QStringLiteral("\"OKCHECK\",,1\r\n"), none, {QStringLiteral("0.OKCHECK=1")});
        row("slot index rounds halves to even; 10.6 reported",
            QStringLiteral("\"FTPDIR\",2.5,\"a\"\r\n\"FTPDIR\",3.5,\"b\"\r\n\"FTPDIR\",\" 6 \",\"c\"\r\n"
                           "\"FTPDIR\",10.5,\"d\"\r\n\"FTPDIR\",10.6,\"e\"\r\n\"LOG\",0,1\r\n"),
            none,
            {QStringLiteral("2.FTPDIR=a"), QStringLiteral("4.FTPDIR=b"), QStringLiteral("6.FTPDIR=c"),
             QStringLiteral("10.FTPDIR=d"), QStringLiteral("LOG=1")},
            {5});
        row("unknown key skipped with its values", QStringLiteral("\"NOSUCHKEY\",0,#NULL#\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("LOG=1")});
        row("lower-case key skipped", QStringLiteral("\"timerset\",0,\"10\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("LOG=1")});
        row("TIMERSET forms", QStringLiteral("\"TIMERSET\",0,\"05\"\r\n"), none, {QStringLiteral("TIMERSET=5")});
        row("TIMERSET unquoted 030", QStringLiteral("\"TIMERSET\",0,030\r\n"), none, {QStringLiteral("TIMERSET=30")});
        row("TIMERSET without a number", QStringLiteral("\"TIMERSET\",0,\"abc\"\r\n"), none,
            {QStringLiteral("TIMERSET=0")});
        row("TIMERSET blanks dropped, fraction kept", QStringLiteral("\"TIMERSET\",0,\" 1 .50min\"\r\n"), none,
            {QStringLiteral("TIMERSET=1.5")});
        row("shared key with another index applied",
            QStringLiteral("\"FTPUSERID\",7,\"bob\"\r\n\"LOG\",\"x\",1\r\n\"TASKTRAY\",#NULL#,1\r\n"), none,
            {QStringLiteral("FTPUSERID=bob"), QStringLiteral("LOG=1"), QStringLiteral("TASKTRAY=1")});
        row("later duplicate wins", QStringLiteral("\"FTPDIR\",1,\"first\"\r\n\"FTPDIR\",1,\"second\"\r\n"), none,
            {QStringLiteral("1.FTPDIR=second")});
        row("records split over lines and joined on one",
            QStringLiteral("\"FTPUSERID\"\r\n0\r\n\"bob\"\r\n\"LOG\",0,1,\"TASKTRAY\",0,1\r\n"), none,
            {QStringLiteral("FTPUSERID=bob"), QStringLiteral("LOG=1"), QStringLiteral("TASKTRAY=1")});
        row("file cut inside a record", QStringLiteral("\"TIMERSET\",0,\"10\"\r\n\"TIMERSET\",0"), none,
            {QStringLiteral("TIMERSET=10")}, {2});
        row("a comma before a line end is an empty field", QStringLiteral("\"FTPUSERID\",\r\n0,\"bob\"\r\n"), none,
            {QStringLiteral("FTPUSERID=0")}, {2});
        row("file cut after the index's comma", QStringLiteral("\"LOG\",0,1\r\n\"FTPUSERID\",0,"), none,
            {QStringLiteral("LOG=1")}, {2});
        row("file cut inside a quoted value", QStringLiteral("\"LOG\",0,1\r\n\"FTPUSERID\",0,\"bo"), none,
            {QStringLiteral("LOG=1")}, {2});
        row("&H and &O",
            QStringLiteral("\"LOG\",0,\"&H1F\"\r\n\"TASKTRAY\",0,\"&o17\"\r\n\"AUTOEXEC\",0,&H10\r\n"
                           "\"HOSTNAMEEXEC\",0,\"&Hx\"\r\n\"FTPUSERID\",0,&H10\r\n"),
            none,
            {QStringLiteral("LOG=31"), QStringLiteral("TASKTRAY=15"), QStringLiteral("AUTOEXEC=16"),
             QStringLiteral("0.HOSTNAMEEXEC=0"), QStringLiteral("FTPUSERID=16")});
        // An octal number ends at the first digit that is none: 8 and 9 stop it.
        row("&O with the digit 8",
            QStringLiteral("\"TASKTRAY\",0,\"&O178\"\r\n\"AUTOEXEC\",0,&O18\r\n\"TIMERSET\",0,\"&O78\"\r\n"
                           "\"OKCHECK\",2,\"&o8\"\r\n\"LOG\",0,1\r\n"),
            none,
            {QStringLiteral("TASKTRAY=15"), QStringLiteral("AUTOEXEC=1"), QStringLiteral("TIMERSET=7"),
             QStringLiteral("2.OKCHECK=0"), QStringLiteral("LOG=1")});
        row("leading number of a text",
            QStringLiteral("\"AUTOEXEC\",0,#TRUE#\r\n\"LOG\",0,\"12abc\"\r\n\"TASKTRAY\",0,\" - 3 "
                           "\"\r\n\"HOSTNAMEEXEC\",0,\"abc\"\r\n"
                           "\"NOWDTTMEXEC\",0,\"1e2\"\r\n\"USEROUTE\",0,\"1e\"\r\n\"OKCHECK\",0,\".5e1\"\r\n"),
            none,
            {QStringLiteral("LOG=12"), QStringLiteral("TASKTRAY=-3"), QStringLiteral("0.HOSTNAMEEXEC=0"),
             QStringLiteral("0.NOWDTTMEXEC=100"), QStringLiteral("USEROUTE=1"), QStringLiteral("0.OKCHECK=5")});
        row("integers round halves to even",
            QStringLiteral("\"OKCHECK\",0,2.5\r\n\"OKCHECK\",1,3.5\r\n\"OKCHECK\",2,-2.5\r\n"
                           "\"HOSTNAMEEXEC\",3,\"0.5\"\r\n\"OKCHECK\",4,1.5\r\n\"LOG\",0,-32768.5\r\n"
                           "\"TASKTRAY\",0,32766.5\r\n"),
            none,
            {QStringLiteral("0.OKCHECK=2"), QStringLiteral("1.OKCHECK=4"), QStringLiteral("2.OKCHECK=-2"),
             QStringLiteral("3.HOSTNAMEEXEC=0"), QStringLiteral("4.OKCHECK=2"), QStringLiteral("LOG=-32768"),
             QStringLiteral("TASKTRAY=32766")});
        row("integer 32768 reported, the rest read", QStringLiteral("\"LOG\",0,1\r\n\"TASKTRAY\",0,32768\r\n\"AUTOEXEC\",0,1\r\n"), none,
            {QStringLiteral("LOG=1"), QStringLiteral("AUTOEXEC=1")}, {2});
        row("integer 32767.5 reported, the rest read",
            QStringLiteral("\"LOG\",0,1\r\n\"TASKTRAY\",0,\"32767.5\"\r\n\"AUTOEXEC\",0,1\r\n"), none,
            {QStringLiteral("LOG=1"), QStringLiteral("AUTOEXEC=1")}, {2});
        row("integer -32769 reported, the rest read", QStringLiteral("\"LOG\",0,1\r\n\"OKCHECK\",3,-32769\r\n\"AUTOEXEC\",0,1\r\n"), none,
            {QStringLiteral("LOG=1"), QStringLiteral("AUTOEXEC=1")}, {2});
        row("integer &H8000 reported, the rest read", QStringLiteral("\"LOG\",0,1\r\n\"TASKTRAY\",0,&H8000\r\n\"AUTOEXEC\",0,1\r\n"),
            none, {QStringLiteral("LOG=1"), QStringLiteral("AUTOEXEC=1")}, {2});
        row("integer 1e999 reported, the rest read", QStringLiteral("\"LOG\",0,1\r\n\"TASKTRAY\",0,1e999\r\n\"AUTOEXEC\",0,1\r\n"), none,
            {QStringLiteral("LOG=1"), QStringLiteral("AUTOEXEC=1")}, {2});
        row("#NULL# value reported, the rest read",
            QStringLiteral("\"LOG\",0,1\r\n\"FTPUSERID\",0,#NULL#\r\n\"TASKTRAY\",0,1\r\n"), none, logAndTray, {2});
        row("Boolean forms",
            QStringLiteral("\"EXEC_TIMING1\",0,#TRUE#\r\n\"EXEC_TIMING2\",0,0\r\n\"EXEC_TIMING3\",0,\"True\"\r\n"
                           "\"EXEC_TIMING1\",1,-1\r\n\"EXEC_TIMING2\",1,\r\n\"EXEC_TIMING2\",2,\"false\"\r\n"
                           "\"EXEC_TIMING3\",3,0.5\r\n\"EXEC_TIMING2\",4,#FALSE#\r\n"),
            none,
            {QStringLiteral("0.EXEC_TIMING1=true"), QStringLiteral("0.EXEC_TIMING2=false"),
             QStringLiteral("0.EXEC_TIMING3=true"), QStringLiteral("1.EXEC_TIMING1=true"),
             QStringLiteral("1.EXEC_TIMING2=false"), QStringLiteral("2.EXEC_TIMING2=false"),
             QStringLiteral("3.EXEC_TIMING3=true"), QStringLiteral("4.EXEC_TIMING2=false")});
        row("invalid Boolean reported, the rest read",
            QStringLiteral("\"EXEC_TIMING3\",0,#TRUE#\r\n\"EXEC_TIMING2\",0,\"yes\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("0.EXEC_TIMING3=true"), QStringLiteral("LOG=1")}, {2});
        row("quoted text keeps commas and blanks, its tail is dropped; blanks before fields skipped",
            QStringLiteral("\"FTPDIR\",0,\"a, b \"junk\r\n\"LOG\",   0,   1   \r\n   \"TASKTRAY\",0,1\r\n"), none,
            {QStringLiteral("0.FTPDIR=a, b "), QStringLiteral("LOG=1"), QStringLiteral("TASKTRAY=1")});
        row("text keys take numbers, Booleans and empty fields",
            QStringLiteral("\"FTPUSERID\",0,007\r\n\"FTPUSERPASS\",0,#TRUE#\r\n\"FTPSERVERNAME\",0,\r\n"
                           "\"GLOBALURL\",0,1.50\r\n\"FTPFILENAME\",0,plain text\r\n"),
            none,
            {QStringLiteral("FTPUSERID=7"), QStringLiteral("FTPUSERPASS=True"), QStringLiteral("FTPSERVERNAME="),
             QStringLiteral("GLOBALURL=1.5"), QStringLiteral("0.FTPFILENAME=plain text")});
        // Files written by hand on Linux end their lines with LF alone; inside quotes a line feed is text.
        row("a lone line feed inside quotes is text",
            QStringLiteral("\"FTPUSERID\",0,\"ab\ncd\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("FTPUSERID=ab\ncd"), QStringLiteral("LOG=1")});
        const QStringList handWritten{QStringLiteral("FTPUSERID=bob"), QStringLiteral("LOG=1"),
                                      QStringLiteral("3.OKCHECK=1"), QStringLiteral("3.FTPFILENAME=index.html"),
                                      QStringLiteral("3.EXEC_TIMING2=false")};
        row("LF line ends",
            QStringLiteral("\"FTPUSERID\",0,\"bob\"\n\"LOG\",0,1\n\"OKCHECK\",3,1\n\"FTPFILENAME\",3,\"index.html\"\n"
                           "\"EXEC_TIMING2\",3,#FALSE#\n\n"),
            none, handWritten);
        row("CR line ends",
            QStringLiteral("\"FTPUSERID\",0,bob\r\"LOG\",0,1\r\"OKCHECK\",3,1\r\"FTPFILENAME\",3,index.html\r"
                           "\"EXEC_TIMING2\",3,#FALSE#"),
            none, handWritten);
        row("LF file with an unreadable line between readable ones",
            QStringLiteral("\"FTPUSERID\",0,\"bob\"\n\"LOG\",0,1\n\"EXEC_TIMING1\",3,yes\n\"OKCHECK\",12,1\n\"OKCHECK\",3,1\n"
                           "\"FTPFILENAME\",3,\"index.html\"\n\"EXEC_TIMING2\",3,#FALSE#\n\"TASKTRAY\"\n"),
            none, handWritten, {3, 4, 8});
        // The look-ahead for a doubled quote runs to the CR only: a line feed inside quotes does not cut it.
        row("doubled quote then a lone LF inside quotes",
            QStringLiteral("\"FTPUSERPASS\",0,\"p\"\"w\nd\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("FTPUSERPASS=p\"w\nd"), QStringLiteral("LOG=1")});
        row("doubled quote inside a quoted text is one quote",
            QStringLiteral("\"FTPUSERPASS\",0,\"p\"\"w,d\"\r\n\"FTPUSERID\",0,\"\"\r\n"), none,
            {QStringLiteral("FTPUSERPASS=p\"w,d"), QStringLiteral("FTPUSERID=")});
        // The previous version wrote a quote inside a text bare: its value that ends in a quote must end its
        // field at the line's end and leave every later record its effect.
        row("earlier format: value ending in a quote",
            QStringLiteral("\"FTPUSERPASS\",0,\"pw\"\"\r\n\"FTPUSERID\",0,\"bob\"\r\n\"LOG\",0,1\r\n"
                           "\"FTPDIR\",3,\"a/\"\r\n\"EXEC_TIMING1\",8,#TRUE#\r\n"),
            none,
            {QStringLiteral("FTPUSERPASS=pw"), QStringLiteral("FTPUSERID=bob"), QStringLiteral("LOG=1"),
             QStringLiteral("3.FTPDIR=a/"), QStringLiteral("8.EXEC_TIMING1=true")});
        row("earlier format: a lone quote as the value",
            QStringLiteral("\"FTPUSERID\",0,\"\"\"\r\n\"TIMERSET\",0,\"30\"\r\n\"TASKTRAY\",0,1\r\n"), none,
            {QStringLiteral("FTPUSERID="), QStringLiteral("TIMERSET=30"), QStringLiteral("TASKTRAY=1")});
        row("earlier format: quotes inside and at the end of the value",
            QStringLiteral("\"FTPUSERPASS\",0,\"a\"b\"\"\r\n\"HOSTNAME\",2,\"H\"\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("FTPUSERPASS=a"), QStringLiteral("2.HOSTNAME=H"), QStringLiteral("LOG=1")});
        row("earlier format: value ending in a quote in 040", none,
            QStringLiteral("\"FTPUSERPASS\",0,\"pw\"\"\r\n\"AUTOEXEC\",0,1\r\n"),
            {QStringLiteral("FTPUSERPASS=pw"), QStringLiteral("AUTOEXEC=1")});
        row("doubled quotes that close on the line stay quotes",
            QStringLiteral("\"FTPUSERPASS\",0,\"pw\"\"\"\r\n\"FTPUSERID\",0,\"\"\"\"\"\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("FTPUSERPASS=pw\""), QStringLiteral("FTPUSERID=\"\""), QStringLiteral("LOG=1")});
        // An editor may save the file with a byte-order mark in front; it is no part of the first key.
        row("byte-order mark before the first record",
            QChar(0xFEFF) + QStringLiteral("\"GLOBALURL\",0,\"http://echo.example/\"\r\n\"LOG\",0,1\r\n"), none,
            {QStringLiteral("GLOBALURL=http://echo.example/"), QStringLiteral("LOG=1")});
        row("Japanese texts in the code page",
            QStringLiteral(
                "\"FTPDIR\",0,\"公開/ﾎｰﾑ\"\r\n\"TEMPLATE\",1,\"表示.html\"\r\n\"HOSTNAME\",2,\"ホスト,名\"\r\n"),
            none,
            {QStringLiteral("0.FTPDIR=公開/ﾎｰﾑ"), QStringLiteral("1.TEMPLATE=表示.html"),
             QStringLiteral("2.HOSTNAME=ホスト,名")});
        row("trailing empty line is harmless", QStringLiteral("\"LOG\",0,1\r\n\r\n"), none, {QStringLiteral("LOG=1")});
        // A U+FEFF that is a character of a value is kept, at the start of its field as anywhere else.
        const QString valuesWithFeff = QStringLiteral(
            "\"FTPUSERPASS\",0,\"\uFEFFpw\"\r\n\"FTPUSERID\",0,\uFEFFbob\r\n\"HOSTNAME\",1,\"a\uFEFF\"\r\n");
        const QStringList keptFeff = {QStringLiteral("FTPUSERPASS=\uFEFFpw"), QStringLiteral("FTPUSERID=\uFEFFbob"),
                                      QStringLiteral("1.HOSTNAME=a\uFEFF")};
        QTest::newRow("U+FEFF opening a value is kept, UTF-8") << utf8 << valuesWithFeff << none << keptFeff << QList<int>();
        QTest::newRow("U+FEFF opening a value is kept after a byte-order mark, UTF-8")
            << utf8 << QChar(0xFEFF) + valuesWithFeff << none << keptFeff << QList<int>();
        // Start-up reads no more than the limit of a huge file: what stands beyond it has no effect.
        const QString filler = QStringLiteral("\"UNKNOWN\",0,\"%1\"\r\n").arg(QString(1000, QLatin1Char('x')));
        const int keptLines = 1 + int((MaxSettingsFileSize - 11) / filler.size());
        row("huge file read up to its limit",
            QStringLiteral("\"LOG\",0,1\r\n") + filler.repeated(int(MaxSettingsFileSize / filler.size()) + 1) +
                QStringLiteral("\"AUTOEXEC\",0,1\r\n"),
            none, {QStringLiteral("LOG=1")}, {keptLines + 1});
    }
    void read()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QString, ini050);
        QFETCH(QString, ini040);
        QFETCH(QStringList, changed);
        QFETCH(QList<int>, faultLines);
        const CodePage page(codec);
        place(SettingsFileName, ini050, page);
        place(PreviousSettingsFileName, ini040, page);

        QMap<QString, QString> expected = storedFields(defaults());
        for (const QString& change : changed) {
            const qsizetype eq = change.indexOf(QLatin1Char('='));
            QVERIFY2(expected.contains(change.left(eq)), qPrintable(change));
            expected[change.left(eq)] = change.mid(eq + 1);
        }

        SettingsModel model = defaults();
        const IniLoad load = Load_ini(model, page);
        QList<int> gotLines;
        for (const IniFault& fault : load.faults) {
            gotLines << fault.line;
            QVERIFY(!describeIniFault(load.fileName, fault).isEmpty() && !fault.reason.isEmpty());
        }
        QCOMPARE(gotLines, faultLines);
        const QMap<QString, QString> got = storedFields(model);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QCOMPARE(it.key() + QLatin1Char('=') + got.value(it.key()), it.key() + QLatin1Char('=') + it.value());
        // Reading never touches either file.
        if (ini040 != Absent)
            QCOMPARE(fileBytes(QString::fromLatin1(PreviousSettingsFileName)), page.encode(ini040));
    }

    void fallbackThenFirstSaveCreates050_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::newRow("windows-31j") << QByteArray("windows-31j");
        QTest::newRow("UTF-8") << QByteArray("UTF-8");
    }
    void fallbackThenFirstSaveCreates050()
    {
        QFETCH(QByteArray, codec);
        const CodePage page(codec);
        const QByteArray old = page.encode(QStringLiteral("\"FTPDIR\",0,\"旧/dir\"\r\n\"TIMERSET\",0,\"10\"\r\n"));
        QVERIFY(writeFile(QString::fromLatin1(PreviousSettingsFileName), old));

        SettingsModel model = defaults();
        Load_ini(model, page);
        QCOMPARE(model.slot[0].FTPDIR, QStringLiteral("旧/dir"));
        QVERIFY(Save_ini(model, page));

        QCOMPARE(fileBytes(QString::fromLatin1(PreviousSettingsFileName)), old);
        const QByteArray saved = fileBytes(QString::fromLatin1(SettingsFileName));
        QVERIFY(saved.contains(page.encode(QStringLiteral("\"FTPDIR\",0,\"旧/dir\"\r\n"))));
        QVERIFY(saved.contains("\"TIMERSET\",0,\"10\"\r\n"));

        // From now on the new file is the one read.
        QVERIFY(writeFile(QString::fromLatin1(PreviousSettingsFileName), "\"TIMERSET\",0,\"60\"\r\n"));
        SettingsModel again = defaults();
        Load_ini(again, page);
        QCOMPARE(again.global.TIMERSET, QStringLiteral("10"));
        QCOMPARE(storedFields(again), storedFields(model));
    }

    void unusedSlotEntriesAreNotWritten()
    {
        QVERIFY(writeFile(QString::fromLatin1(SettingsFileName),
                          "\"FTPDIR\",9,\"nine\"\r\n\"OKCHECK\",10,1\r\n\"EXEC_TIMING1\",10,#TRUE#\r\n"));
        SettingsModel model = defaults();
        Load_ini(model, CodePage("UTF-8"));
        QCOMPARE(model.slot[9].FTPDIR, QStringLiteral("nine"));
        QCOMPARE(model.slot[10].OKCHECK, qint16(1));
        QVERIFY(Save_ini(model, CodePage("UTF-8")));
        QCOMPARE(fileBytes(QString::fromLatin1(SettingsFileName)), defaultFile());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("codec");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("passwordLine"); // the record as it stands in the file (ASCII rows only)
        const QList<QByteArray> codecs = {"windows-31j", "UTF-8"};
        for (const QByteArray& codec : codecs) {
            auto row = [&](const char* name, const QString& password, const QByteArray& line) {
                QTest::addRow("%s, %s", name, codec.constData()) << codec << password << line;
            };
            row("plain", QStringLiteral("secret"), "\"FTPUSERPASS\",0,\"secret\"");
            row("quote inside", QStringLiteral("a\"b"), "\"FTPUSERPASS\",0,\"a\"\"b\"");
            row("only a quote", QStringLiteral("\""), "\"FTPUSERPASS\",0,\"\"\"\"");
            row("two quotes", QStringLiteral("\"\""), "\"FTPUSERPASS\",0,\"\"\"\"\"\"");
            row("quotes, comma and blanks", QStringLiteral(" x,\"y\" "), "\"FTPUSERPASS\",0,\" x,\"\"y\"\" \"");
            row("quote then comma at the end", QStringLiteral("pw\","), "\"FTPUSERPASS\",0,\"pw\"\",\"");
            row("quote at the end", QStringLiteral("pw\""), "\"FTPUSERPASS\",0,\"pw\"\"\"");
            row("quote at both ends", QStringLiteral("\"pw\""), "\"FTPUSERPASS\",0,\"\"\"pw\"\"\"");
            row("Japanese with a quote", QStringLiteral("パス\"ﾜｰﾄﾞ表"), QByteArray());
        }
        // Neither file format nor Shift_JIS can hold it in a windows-31j file; a UTF-8 file keeps it.
        QTest::newRow("U+FEFF opening the value, UTF-8")
            << QByteArray("UTF-8") << QStringLiteral("\uFEFFpw") << QByteArray("\"FTPUSERPASS\",0,\"\xEF\xBB\xBFpw\"");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, codec);
        QFETCH(QString, password);
        QFETCH(QByteArray, passwordLine);
        const CodePage page(codec);

        SettingsModel model = defaults();
        model.global.FTPUSERPASS = password;
        model.global.FTPUSERID = QStringLiteral("ユーザ");
        model.global.USEROUTE = 1;
        model.global.LOG = -1;
        model.global.TIMERSET = QStringLiteral("120");
        model.slot[3].EXEC_TIMING1 = true;
        model.slot[3].EXEC_TIMING2 = false;
        model.slot[8].OKCHECK = 1;
        model.slot[8].TEMPLATE = QStringLiteral("C:\\テンプレート\\表.html");
        model.slot[5].HOSTNAMEEXEC = -32768;
        QVERIFY(Save_ini(model, page));
        const QByteArray first = fileBytes(QString::fromLatin1(SettingsFileName));
        QCOMPARE(first.count("\r\n"), 108);
        if (!passwordLine.isEmpty())
            QVERIFY2(first.contains("\r\n" + passwordLine + "\r\n"), first.constData());
        QVERIFY(first.contains("\"HOSTNAMEEXEC\",5,-32768\r\n"));
        QVERIFY(first.contains("\"EXEC_TIMING1\",3,#TRUE#\r\n"));

        SettingsModel back = defaults();
        QCOMPARE(readIni(first, back, page), IniReadEnd::Complete);
        Load_ini(back, page);
        QCOMPARE(back.global.FTPUSERPASS, password);
        QCOMPARE(storedFields(back), storedFields(model));

        // Saving twice without a change writes identical files.
        QVERIFY(Save_ini(back, page));
        QCOMPARE(fileBytes(QString::fromLatin1(SettingsFileName)), first);
    }

    // A save either replaces the file whole or leaves the old one as it was; where the folder is read-only but
    // the file writable, the file is written in place instead of aside.
    void saveWhereWritingIsHindered_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("saved");
        QTest::newRow("target is a directory") << 0 << false;
        QTest::newRow("write fails halfway (file size limit)") << 1 << false;
        QTest::newRow("read-only directory, writable file: written in place") << 2 << true;
        QTest::newRow("read-only file") << 3 << false;
        QTest::newRow("read-only file in a read-only directory") << 4 << false;
        QTest::newRow("read-only directory, no file yet") << 5 << false;
        QTest::newRow("a symbolic link in the file's place: not written through") << 6 << false;
        QTest::newRow("read-only directory, write in place fails halfway: the old file put back") << 7 << false;
    }
    void saveWhereWritingIsHindered()
    {
        QFETCH(int, how);
        QFETCH(bool, saved);
        // Permission bits stop only an unprivileged user.
        if (how >= 2) {
            const UnprivilegedRun run = runCurrentCaseUnprivileged();
            if (run.handedOver) {
                QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
                return;
            }
        }
        const QString name = QString::fromLatin1(SettingsFileName);
        const QByteArray old = "\"TIMERSET\",0,\"10\"\r\n\"LOG\",0,1\r\n";
        QTemporaryDir elsewhere;
        if (how == 0)
            QVERIFY(QDir().mkdir(name));
        else if (how == 6)
            QVERIFY(writeFile(elsewhere.filePath(name), old) && QFile::link(elsewhere.filePath(name), name));
        else if (how != 5)
            QVERIFY(writeFile(name, old));

        SettingsModel model = defaults();
        model.global.FTPUSERPASS = QStringLiteral("new");
        const auto before = storedFields(model);
        int oldMode = modeOf(name);
        const auto readOnlyFolder = [] {
            return QFile::setPermissions(QStringLiteral("."), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        };
        bool result = true;
        if (how == 1 || how == 7) {
            if (how == 7)
                QVERIFY(readOnlyFolder());
            rlimit previous{};
            QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
            rlimit small = previous;
            small.rlim_cur = 100; // well below the 108 records
            auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
            result = Save_ini(model, CodePage("UTF-8"));
            ::setrlimit(RLIMIT_FSIZE, &previous);
            std::signal(SIGXFSZ, previousHandler);
        } else {
            if (how == 3 || how == 4)
                QVERIFY(QFile::setPermissions(name, QFileDevice::ReadOwner));
            oldMode = modeOf(name);
            if (how == 2 || how == 4 || how == 5)
                QVERIFY(readOnlyFolder());
            result = Save_ini(model, CodePage("UTF-8"));
        }
        QVERIFY(QFile::setPermissions(QStringLiteral("."),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));

        QCOMPARE(result, saved);
        QCOMPARE(storedFields(model), before);
        if (how == 0)
            QVERIFY(QFileInfo(name).isDir());
        else if (how == 5)
            QVERIFY(!QFile::exists(name));
        else
            QCOMPARE(fileBytes(name), saved ? formatIni(model, CodePage("UTF-8")) : old);
        QCOMPARE(modeOf(name), oldMode);
        // Nothing written aside is left behind.
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 how == 5 ? QStringList() : QStringList{name});
    }

    void permissions_data()
    {
        QTest::addColumn<int>("existingMode"); // -1: no file before the save
        QTest::addColumn<int>("expectedMode");
        QTest::newRow("created: owner only") << -1 << 0600;
        QTest::newRow("existing 0644 kept") << 0644 << 0644;
        QTest::newRow("existing 0640 kept") << 0640 << 0640;
        QTest::newRow("existing 0600 kept") << 0600 << 0600;
    }
    void permissions()
    {
        QFETCH(int, existingMode);
        QFETCH(int, expectedMode);
        const QString name = QString::fromLatin1(SettingsFileName);
        const mode_t previousMask = ::umask(0);
        if (existingMode >= 0) {
            QVERIFY(writeFile(name, "old"));
            QCOMPARE(::chmod(QFile::encodeName(name).constData(), mode_t(existingMode)), 0);
        }
        const bool saved = Save_ini(defaults(), CodePage("UTF-8"));
        ::umask(previousMask);
        QVERIFY(saved);
        QCOMPARE(QString::number(modeOf(name), 8), QString::number(expectedMode, 8));
        QCOMPARE(fileBytes(name), defaultFile());
    }

    void fileOk_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("result");
        QTest::newRow("missing") << 0 << 1;
        QTest::newRow("plain file") << 1 << 0;
        QTest::newRow("empty file") << 2 << 0;
        QTest::newRow("directory") << 3 << 1;
        QTest::newRow("named pipe (would block on open)") << 4 << 1;
        QTest::newRow("unreadable file") << 5 << 1;
    }
    void fileOk()
    {
        QFETCH(int, kind);
        QFETCH(int, result);
        const QString name = QStringLiteral("probe.ini");
        if (kind == 5) {
            const UnprivilegedRun run = runCurrentCaseUnprivileged(); // root reads any file
            if (run.handedOver) {
                QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
                return;
            }
        }
        switch (kind) {
        case 1:
            QVERIFY(writeFile(name, "\"LOG\",0,1\r\n"));
            break;
        case 2:
            QVERIFY(writeFile(name, QByteArray()));
            break;
        case 3:
            QVERIFY(QDir().mkdir(name));
            break;
        case 4:
            QCOMPARE(::mkfifo("probe.ini", 0600), 0);
            break;
        case 5:
            QVERIFY(writeFile(name, "x"));
            QVERIFY(QFile::setPermissions(name, QFileDevice::WriteOwner));
            break;
        default:
            break;
        }
        QCOMPARE(File_Ok(name), result);
        QCOMPARE(File_Ok(name), result); // a file that opens is closed again
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_ini_file.moc"
