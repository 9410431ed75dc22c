#include "app/command_line.h"
#include "app/console_view.h"
#include "app/folder_lock.h"
#include "app/modes.h"
#include "app/once_state.h"
#include "settings/ini_file.h"
#include "settings/setting_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringEncoder>

#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {

const QString SampleTemplate = QStringLiteral("TEMPLATE.HTML");

QString currentFolder()
{
    return QDir::toNativeSeparators(QDir::currentPath());
}

// The sample page: both markers in place, in the files' code page, lines ended as the program writes them.
QByteArray sampleTemplate(const CodePage& codePage)
{
    const QString charset = codePage.isShiftJis() ? QStringLiteral("Shift_JIS") : QString::fromLatin1(codePage.name());
    return codePage.encode(QStringLiteral("<!DOCTYPE html>\r\n"
                                          "<html lang=\"ja\">\r\n"
                                          "<head>\r\n"
                                          "<meta charset=\"%1\">\r\n"
                                          "<title>自宅サーバのアドレス</title>\r\n"
                                          "</head>\r\n"
                                          "<body>\r\n"
                                          "<p>自宅サーバは <a href=\"http://HOSTNAME/\">HOSTNAME</a> にあります。</p>\r\n"
                                          "<p>NOWDTTM に確認しました。</p>\r\n"
                                          "</body>\r\n"
                                          "</html>\r\n")
                               .arg(charset));
}

// The settings as they stand in the folder. False (the lines said) when a line could not be read: writing
// then would drop what the user wrote on it.
bool loadForChange(ConsoleView& view, SettingsModel& settings, const CodePage& codePage)
{
    settings.applyDefaults();
    const IniLoad load = Load_ini(settings, codePage);
    for (const IniFault& fault : load.faults)
        view.printLine(QStringLiteral("veltora: ") + describeIniFault(load.fileName, fault));
    if (!load.faults.isEmpty())
        view.printLine(QStringLiteral("veltora: 設定ファイルを直してからもう一度実行してください。何も書いていません"));
    return load.faults.isEmpty();
}

// Writes the settings as the window's 設定保存 would; the exit status. The window writes its own settings
// back when it ends, so a change made beside it would be lost: refused while it runs in the folder.
int saveChanged(ConsoleView& view, const SettingsModel& before, const SettingsModel& after, const CodePage& codePage)
{
    FolderLock lock;
    if (lock.acquire() == FolderLock::Outcome::HeldByAnother) {
        if (lock.holder().contains(QStringLiteral("veltora-window"))) {
            view.printLine(QStringLiteral("veltora: 画面の Veltora がこのフォルダで動いています。終了時に設定を書き戻すため、"
                                          "画面で変えるか、画面を閉じてからもう一度実行してください: ") +
                           currentFolder());
            return TemporaryFailureStatus;
        }
        view.printLine(QStringLiteral("veltora: このフォルダで動いている veltora --headless には、SIGHUP で設定を読み直させてください "
                                      "(systemctl --user reload veltora)"));
    }
    if (!Save_ini(after, codePage)) {
        view.printLine(QStringLiteral("veltora: 設定ファイル ") + QString::fromLatin1(SettingsFileName) +
                       QStringLiteral(" を書けません: ") + currentFolder());
        return CannotCreateStatus;
    }
    // The one-shot mode's state knows no destination: a slot now pointing elsewhere has not been sent there.
    if (auto state = loadState()) {
        const OnceState old = *state;
        for (int s = 0; s < SlotCount; ++s) {
            if (destinationOf(before.global, before.slot[s]) != destinationOf(after.global, after.slot[s]))
                state->changeSent[s] = false;
        }
        if (*state != old && !saveState(*state))
            view.printLine(QStringLiteral("veltora: 状態ファイル ") + QString::fromLatin1(FileNames::State) +
                           QStringLiteral(" を書けません。変えた設定は次のアドレスの変更まで転送されません"));
    }
    return 0;
}

int runInit(ConsoleView& view, const CodePage& codePage)
{
    for (const QString& name : {QString::fromLatin1(SettingsFileName), QString::fromLatin1(PreviousSettingsFileName),
                                SampleTemplate}) {
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink()) {
            view.printLine(QStringLiteral("veltora: ") + name + QStringLiteral(" がすでにあるため、何も作りません: ") +
                           currentFolder());
            return CannotCreateStatus;
        }
    }
    SettingsModel defaults;
    defaults.applyDefaults();
    QSaveFile page(SampleTemplate);
    const QByteArray bytes = sampleTemplate(codePage);
    if (!Save_ini(defaults, codePage) || !page.open(QIODevice::WriteOnly) || page.write(bytes) != bytes.size() ||
        !page.commit()) {
        view.printLine(QStringLiteral("veltora: ファイルを書けません: ") + currentFolder());
        return CannotCreateStatus;
    }
    view.printLine(QStringLiteral("veltora: %1 と %2 を作りました: %3")
                       .arg(QString::fromLatin1(SettingsFileName), SampleTemplate, currentFolder()));
    return 0;
}

int runShowSettings(ConsoleView& view, const CodePage& codePage)
{
    SettingsModel settings;
    settings.applyDefaults();
    const IniLoad load = Load_ini(settings, codePage);
    if (load.fileName.isEmpty())
        view.printLine(QStringLiteral("veltora: 設定ファイルがないため、初期値を表示します: ") + currentFolder());
    for (const IniFault& fault : load.faults)
        view.printLine(QStringLiteral("veltora: ") + describeIniFault(load.fileName, fault));
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    out.write(QStringEncoder(QStringConverter::System).encode(listSettings(settings).join(QLatin1Char('\n')) +
                                                              QLatin1Char('\n')));
    return load.faults.isEmpty() ? 0 : ConfigurationStatus;
}

int runSet(ConsoleView& view, const CodePage& codePage, const QStringList& assignments)
{
    SettingsModel settings;
    if (!loadForChange(view, settings, codePage))
        return ConfigurationStatus;
    const SettingsModel before = settings;
    for (const QString& assignment : assignments) {
        if (const auto refused = applySetting(settings, assignment)) {
            view.printLine(QStringLiteral("veltora: ") + *refused + QStringLiteral("。何も書いていません"));
            return UsageExitStatus;
        }
    }
    return saveChanged(view, before, settings, codePage);
}

// One line from standard input, without its line end; from a terminal without echo, asked for on stderr.
std::optional<QString> readPassword(ConsoleView& view, const QString& prompt)
{
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal) {
        view.printLine(prompt);
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
        }
    }
    QByteArray line;
    bool ended = false;
    for (int c; (c = std::getchar()) != EOF;) {
        if (c == '\n') {
            ended = true;
            break;
        }
        line += char(c);
    }
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        view.printLine(QString());
    }
    if (line.endsWith('\r'))
        line.chop(1);
    if (!ended && line.isEmpty())
        return std::nullopt;
    return QString::fromLocal8Bit(line);
}

int runSetPassword(ConsoleView& view, const CodePage& codePage)
{
    SettingsModel settings;
    if (!loadForChange(view, settings, codePage))
        return ConfigurationStatus;
    const auto password = readPassword(view, QStringLiteral("FTPのパスワード (表示されません):"));
    if (!password) {
        view.printLine(QStringLiteral("veltora: パスワードを読めませんでした。何も書いていません"));
        return UsageExitStatus;
    }
    if (::isatty(STDIN_FILENO) == 1 && readPassword(view, QStringLiteral("もう一度入力してください:")) != password) {
        view.printLine(QStringLiteral("veltora: 二つの入力が違います。何も書いていません"));
        return UsageExitStatus;
    }
    const SettingsModel before = settings;
    settings.global.FTPUSERPASS = *password;
    return saveChanged(view, before, settings, codePage);
}

} // namespace

int runSettingsCommand(const CommandLine& line, ConsoleView& view)
{
    const CodePage codePage = codePageOf(line);
    switch (line.mode) {
    case CommandLine::Mode::Init:
        return runInit(view, codePage);
    case CommandLine::Mode::Settings:
        return runShowSettings(view, codePage);
    case CommandLine::Mode::Set:
        return runSet(view, codePage, line.assignments);
    default:
        return runSetPassword(view, codePage);
    }
}
