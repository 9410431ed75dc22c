#include "app/command_line.h"

#include <QTest>

using Mode = CommandLine::Mode;
Q_DECLARE_METATYPE(CommandLine::Mode)

// The command line as a pure function: every mode, option and usage error, without starting anything.
class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("text"); // a part of the printed text; empty: no text
        QTest::addColumn<QStringList>("assignments");

        const auto row = [](const char* name, const QStringList& tail, Mode mode, const QString& folder = {},
                            const QByteArray& codePage = {}, const QString& text = {},
                            const QStringList& assignments = {}) {
            QTest::newRow(name) << (QStringList{QStringLiteral("veltora")} + tail) << mode << folder << codePage
                                << text << assignments;
        };
        row("nothing: the window", {}, Mode::Window);
        row("--once", {"--once"}, Mode::Once);
        row("--check", {"--check"}, Mode::Check);
        row("--headless", {"--headless"}, Mode::Headless);
        row("--dir with the window", {"--dir", "/srv/veltora"}, Mode::Window, "/srv/veltora");
        row("--dir=", {"--dir=/srv/veltora", "--once"}, Mode::Once, "/srv/veltora");
        row("--code-page", {"--once", "--code-page", "windows-31j"}, Mode::Once, {}, "windows-31j");
        row("all together", {"--code-page=UTF-8", "--headless", "--dir", "d"}, Mode::Headless, "d", "UTF-8");
        row("a folder with spaces and kana", {"--dir", "/home/u/ホーム ページ"}, Mode::Window,
            QStringLiteral("/home/u/ホーム ページ"));
        row("--help", {"--help"}, Mode::Help, {}, {}, QStringLiteral("使い方: veltora"));
        row("-h", {"-h"}, Mode::Help, {}, {}, QStringLiteral("--code-page NAME"));
        row("--help wins over a mode", {"--once", "--help"}, Mode::Help, {}, {}, QStringLiteral("終了コード"));
        row("--version", {"--version"}, Mode::Version, {}, {}, QStringLiteral("veltora 0.5.1\n"));
        row("--init", {"--init", "--dir", "d"}, Mode::Init, "d");
        row("--settings", {"--settings"}, Mode::Settings);
        row("--set with settings", {"--set", "TIMERSET=10", "FTPFILENAME,0=index.html"}, Mode::Set, {}, {}, {},
            {"TIMERSET=10", "FTPFILENAME,0=index.html"});
        row("--set-password", {"--code-page", "UTF-8", "--set-password"}, Mode::SetPassword, {}, "UTF-8");
        row("--help names the settings commands", {"--help"}, Mode::Help, {}, {}, QStringLiteral("--set-password"));
        row("-v", {"-v"}, Mode::Version, {}, {}, QStringLiteral("veltora 0.5.1"));
        row("--trust", {"--trust", "--dir", "d"}, Mode::Trust, "d");
        row("--help names --trust", {"--help"}, Mode::Help, {}, {}, QStringLiteral("--trust"));

        const QString hint = QStringLiteral("veltora --help");
        row("unknown option", {"--bogus"}, Mode::UsageError, {}, {}, QStringLiteral("不明なオプションです: --bogus"));
        row("unknown short option", {"-x"}, Mode::UsageError, {}, {}, QStringLiteral("不明なオプションです: -x"));
        row("unknown option after a good one", {"--once", "--later"}, Mode::UsageError, {}, {},
            QStringLiteral("--later"));
        row("--dir without a value", {"--dir"}, Mode::UsageError, {}, {}, QStringLiteral("オプションの値"));
        row("--dir empty", {"--dir="}, Mode::UsageError, {}, {}, QStringLiteral("--dir"));
        row("a value given to a mode", {"--once=yes"}, Mode::UsageError, {}, {}, hint);
        row("two modes", {"--once", "--headless"}, Mode::UsageError, {}, {}, QStringLiteral("一つだけ"));
        row("--quiet with a mode that runs", {"--once", "--quiet"}, Mode::Once);
        row("--quiet without one", {"--quiet", "--settings"}, Mode::UsageError, {}, {}, QStringLiteral("--quiet"));
        row("a mode twice", {"--check", "--check"}, Mode::UsageError, {}, {}, QStringLiteral("二度"));
        row("--dir twice", {"--dir", "a", "--dir", "b"}, Mode::UsageError, {}, {}, QStringLiteral("--dir"));
        row("unknown code page", {"--code-page", "klingon-1"}, Mode::UsageError, {}, {},
            QStringLiteral("不明な文字コードです: klingon-1"));
        row("code page not ASCII", {"--code-page", "シフトJIS"}, Mode::UsageError, {}, {},
            QStringLiteral("不明な文字コード"));
        row("empty code page", {"--code-page="}, Mode::UsageError, {}, {}, QStringLiteral("不明な文字コード"));
        row("a stray argument", {"--once", "extra"}, Mode::UsageError, {}, {}, QStringLiteral("余分な引数です: extra"));
        row("--set without a setting", {"--set"}, Mode::UsageError, {}, {}, QStringLiteral("--set"));
        row("--set with another mode", {"--set", "LOG=1", "--once"}, Mode::UsageError, {}, {},
            QStringLiteral("一つだけ"));
        row("a setting without --set", {"--settings", "LOG=1"}, Mode::UsageError, {}, {}, QStringLiteral("LOG=1"));
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Mode, mode);
        QFETCH(QString, folder);
        QFETCH(QByteArray, codePage);
        QFETCH(QString, text);
        QFETCH(QStringList, assignments);

        const CommandLine line = parseCommandLine(arguments);
        QCOMPARE(line.mode, mode);
        if (mode == Mode::UsageError) {
            // One line, naming the program, pointing at the help.
            QVERIFY2(!line.text.contains(QLatin1Char('\n')), qPrintable(line.text));
            QVERIFY2(line.text.startsWith(QStringLiteral("veltora: ")), qPrintable(line.text));
            QVERIFY2(line.text.contains(QStringLiteral("veltora --help")), qPrintable(line.text));
            QVERIFY2(line.text.contains(text), qPrintable(line.text));
            return;
        }
        QCOMPARE(line.folder, folder);
        QCOMPARE(line.codePage, codePage);
        QCOMPARE(line.assignments, assignments);
        if (text.isEmpty())
            QCOMPARE(line.text, QString());
        else
            QVERIFY2(line.text.contains(text), qPrintable(line.text));
        QCOMPARE(line.isConsoleMode(), mode == Mode::Once || mode == Mode::Check || mode == Mode::Headless);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
