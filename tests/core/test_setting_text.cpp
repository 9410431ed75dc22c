#include "settings/setting_text.h"

#include <QTest>

// The settings as the command line reads and changes them: each value checked as the window's control
// would hold it.
class TestSettingText : public QObject
{
    Q_OBJECT
private slots:
    void apply_data()
    {
        QTest::addColumn<QString>("assignment");
        QTest::addColumn<QString>("refusal"); // a part of the reason; empty: taken
        QTest::addColumn<QStringList>("listed"); // lines of listSettings() afterwards
        QTest::newRow("a period from the list") << "TIMERSET=10" << "" << QStringList{"TIMERSET = 10"};
        QTest::newRow("a period that is no number") << "TIMERSET=abc" << "分の数" << QStringList{"TIMERSET = 5"};
        QTest::newRow("a period not in the list") << "TIMERSET=7" << "どれか" << QStringList{"TIMERSET = 5"};
        QTest::newRow("a check box") << "LOG=1" << "" << QStringList{"LOG = 1"};
        QTest::newRow("a check box takes 0 or 1 only") << "LOG=2" << "0 か 1" << QStringList{"LOG = 0"};
        QTest::newRow("a slot's text, blanks and = kept") << "FTPDIR,8= a=b/" << "" << QStringList{"FTPDIR,8 =  a=b/"};
        QTest::newRow("a line break") << "FTPDIR,0=a\nb" << "改行" << QStringList{"FTPDIR,0 = public_html/"};
        QTest::newRow("a trigger chosen clears the others")
            << "EXEC_TIMING3,2=true" << ""
            << QStringList{"EXEC_TIMING1,2 = false", "EXEC_TIMING2,2 = false", "EXEC_TIMING3,2 = true"};
        QTest::newRow("a trigger cannot be unchosen") << "EXEC_TIMING2,2=false" << "true"
                                                       << QStringList{"EXEC_TIMING2,2 = true"};
        QTest::newRow("a slot key without its number") << "FTPFILENAME=index.html" << "0～8"
                                                        << QStringList{"FTPFILENAME,0 = testpage1.html"};
        QTest::newRow("slot 9 is no slot") << "OKCHECK,9=1" << "0～8" << QStringList{};
        QTest::newRow("a shared key with a number") << "LOG,0=1" << "番号" << QStringList{"LOG = 0"};
        QTest::newRow("the password never from the command line") << "FTPUSERPASS=pw" << "--set-password"
                                                                   << QStringList{"FTPUSERPASS = "};
        QTest::newRow("the IPv6 lookup") << "USEIPV6=2"
                                         << "" << QStringList{"USEIPV6 = 2"};
        QTest::newRow("the IPv6 lookup takes 0, 1 or 2 only") << "USEIPV6=3"
                                                              << "どれか" << QStringList{"USEIPV6 = 0"};
        QTest::newRow("a slot's IPv6 tick") << "HOSTNAME6EXEC,4=1"
                                            << "" << QStringList{"HOSTNAME6EXEC,4 = 1"};
        QTest::newRow("an unknown key") << "TIMERSET2=5" << "TIMERSET2" << QStringList{};
        QTest::newRow("no =") << "LOG" << "KEY=VALUE" << QStringList{};
    }
    void apply()
    {
        QFETCH(QString, assignment);
        QFETCH(QString, refusal);
        QFETCH(QStringList, listed);
        SettingsModel model;
        model.applyDefaults();
        const QStringList before = listSettings(model);
        const auto refused = applySetting(model, assignment);
        QCOMPARE(refused.has_value(), !refusal.isEmpty());
        if (refused) {
            QVERIFY2(refused->contains(refusal), qPrintable(*refused));
            QCOMPARE(listSettings(model), before); // nothing taken
        }
        const QStringList after = listSettings(model);
        for (const QString& line : listed)
            QVERIFY2(after.contains(line), qPrintable(line));
    }

    void listMasksThePassword()
    {
        SettingsModel model;
        model.applyDefaults();
        model.global.FTPUSERPASS = QStringLiteral("secret");
        const QStringList lines = listSettings(model);
        QCOMPARE(lines.size(), 11 + 9 * 13);
        QVERIFY(lines.contains(QStringLiteral("FTPUSERPASS = ********")));
        QVERIFY(!lines.join(u'\n').contains(QStringLiteral("secret")));
    }
};

QTEST_GUILESS_MAIN(TestSettingText)
#include "test_setting_text.moc"
