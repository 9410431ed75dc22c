#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <QStringDecoder>

namespace {

const QString ProgramName = QStringLiteral("veltora");

QString helpText()
{
    // Written out rather than taken from QCommandLineParser::helpText(), whose headings are English.
    return QStringLiteral(
        "使い方: veltora [オプション]\n"
        "\n"
        "自宅サーバのグローバルIPアドレスを確認し、テンプレートに書き込んでFTPで転送します。\n"
        "モードを指定しなければ、設定画面と通知領域のアイコンで常駐します。\n"
        "\n"
        "モード (どれか一つ):\n"
        "  --once              1回だけ実行して終了します (今すぐ実行と同じ。終了時の転送はしません)\n"
        "  --check             IPアドレスの確認だけを行い、見つかったアドレスを標準出力に書きます\n"
        "  --headless          画面なしで常駐します (TIMERSET分ごとに実行、SIGTERMで終了時の転送、\n"
        "                      SIGHUPで設定ファイルを読み直し)\n"
        "\n"
        "設定 (画面なしで):\n"
        "  --init              初期値の設定ファイルと見本のテンプレート TEMPLATE.HTML を作ります\n"
        "  --settings          すべての設定を KEY[,N] = 値 の形で表示します (パスワードは伏せます)\n"
        "  --set KEY[,N]=値 ...  設定を変えます。N は設定の番号 0～8 (設定1 が 0)。例:\n"
        "                      veltora --set FTPSERVERNAME=ftp://ftp.example.com OKCHECK,0=1\n"
        "  --set-password      FTPのパスワードを端末 (表示なし) か標準入力から読んで設定します\n"
        "  --trust             FTPサーバーと https のエコーページに (パスワードを送らずに) 接続し、ホスト鍵か\n"
        "                      証明書の指紋と、信頼済みかどうかを表示します。端末では未登録のものごとに\n"
        "                      信頼するか (y/N) をたずねます。端末でなければ何も登録せず、未確認のものが\n"
        "                      あれば 1 で終わります\n"
        "\n"
        "オプション:\n"
        "  --dir DIR           設定ファイル・ログ・テンプレートのあるフォルダ\n"
        "                      (既定: ~/.local/share/veltora、XDG_DATA_HOME があれば $XDG_DATA_HOME/veltora。\n"
        "                      --dir . で現在のフォルダ)\n"
        "  --code-page NAME    設定ファイル・テンプレート・ログの文字コード (例: windows-31j)\n"
        "  --quiet             失敗と警告だけを標準エラー出力に書きます (cron 向け)\n"
        "  -h, --help          この説明を表示します\n"
        "  -v, --version       バージョンを表示します\n"
        "\n"
        "終了コード:\n"
        "  0 成功  1 IPアドレスの確認に失敗 (--trust: 信頼されていないサーバーがある)\n"
        "  2 置換または転送に失敗  64 オプションや値の誤り\n"
        "  73 ファイルがすでにある、または書けない  75 他のVeltoraがフォルダを使用中\n"
        "  78 設定ファイルがない、読めない行がある、またはフォルダを安全に使えません\n");
}

CommandLine usageError(const QString& line)
{
    CommandLine result;
    result.mode = CommandLine::Mode::UsageError;
    result.text = ProgramName + QStringLiteral(": ") + line + QStringLiteral(" (veltora --help で使い方を表示します)");
    return result;
}

} // namespace

QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

QList<QByteArray> rawArgumentsOf(int argc, char** argv)
{
    QList<QByteArray> arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return arguments;
}

QString versionLine()
{
    return ProgramName + QLatin1Char(' ') + QStringLiteral(VELTORA_VERSION);
}

CommandLine parseCommandLine(const QStringList& arguments, const QList<QByteArray>& raw)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The modes, one option each; at most one of them is given.
    const std::pair<QCommandLineOption, CommandLine::Mode> modeOptions[] = {
        {QCommandLineOption(QStringLiteral("once")), CommandLine::Mode::Once},
        {QCommandLineOption(QStringLiteral("check")), CommandLine::Mode::Check},
        {QCommandLineOption(QStringLiteral("headless")), CommandLine::Mode::Headless},
        {QCommandLineOption(QStringLiteral("init")), CommandLine::Mode::Init},
        {QCommandLineOption(QStringLiteral("settings")), CommandLine::Mode::Settings},
        {QCommandLineOption(QStringLiteral("set")), CommandLine::Mode::Set},
        {QCommandLineOption(QStringLiteral("set-password")), CommandLine::Mode::SetPassword},
        {QCommandLineOption(QStringLiteral("trust")), CommandLine::Mode::Trust},
    };
    const QCommandLineOption dir(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption codePage(QStringLiteral("code-page"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    for (const auto& [option, mode] : modeOptions)
        parser.addOption(option);
    parser.addOptions({dir, codePage, quiet, help, version});

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString name = unknown.first();
            return usageError(QStringLiteral("不明なオプションです: ") +
                              (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        }
        // A value missing after --dir or --code-page, or one given to an option that takes none.
        return usageError(QStringLiteral("オプションの値が正しくありません: ") + parser.errorText());
    }
    CommandLine result;
    if (parser.isSet(help)) {
        result.mode = CommandLine::Mode::Help;
        result.text = helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.mode = CommandLine::Mode::Version;
        result.text = versionLine() + QLatin1Char('\n');
        return result;
    }

    // Each option once: a second --dir would silently win over the first.
    QStringList names{QStringLiteral("dir"), QStringLiteral("code-page"), QStringLiteral("quiet")};
    for (const auto& [option, mode] : modeOptions)
        names << option.names();
    for (const QString& name : std::as_const(names)) {
        if (parser.values(name).size() > 1 || parser.optionNames().count(name) > 1)
            return usageError(QStringLiteral("オプションが二度指定されています: --") + name);
    }

    QStringList given;
    for (const auto& [option, mode] : modeOptions) {
        if (parser.isSet(option)) {
            result.mode = mode;
            given << QStringLiteral("--") + option.names().first();
        }
    }
    if (given.size() > 1)
        return usageError(given.join(QStringLiteral("、")) + QStringLiteral(" は一つだけ指定できます"));

    // Only --set takes arguments of its own: the settings to change.
    result.assignments = parser.positionalArguments();
    if (result.mode == CommandLine::Mode::Set && result.assignments.isEmpty())
        return usageError(QStringLiteral("--set には KEY=値 を一つ以上指定してください"));
    if (result.mode != CommandLine::Mode::Set && !result.assignments.isEmpty())
        return usageError(QStringLiteral("余分な引数です: ") + result.assignments.first());

    result.quiet = parser.isSet(quiet);
    if (result.quiet && !result.isConsoleMode())
        return usageError(QStringLiteral("--quiet は --once、--check、--headless とだけ使えます"));
    if (parser.isSet(dir)) {
        result.folder = parser.value(dir);
        if (result.folder.isEmpty())
            return usageError(QStringLiteral("--dir にフォルダを指定してください"));
        result.folderPath = QFile::encodeName(result.folder);
        // Text decoded from bytes that are no text in the locale's encoding (Shift_JIS or Latin-1 names from
        // older archives) would not encode back to them: the folder is named by the argument's own bytes.
        for (qsizetype i = 1; raw.size() == arguments.size() && i < arguments.size(); ++i) {
            const QString& argument = arguments[i];
            if ((argument == QLatin1String("--dir") || argument == QLatin1String("-dir")) && i + 1 < raw.size()) {
                result.folderPath = raw[i + 1];
                break;
            }
            if (argument.startsWith(QLatin1String("--dir=")) || argument.startsWith(QLatin1String("-dir="))) {
                result.folderPath = raw[i].mid(raw[i].indexOf('=') + 1);
                break;
            }
        }
    }
    if (parser.isSet(codePage)) {
        result.codePage = parser.value(codePage).toLatin1();
        if (result.codePage.isEmpty() || parser.value(codePage) != QString::fromLatin1(result.codePage) ||
            !QStringDecoder(result.codePage.constData()).isValid())
            return usageError(QStringLiteral("不明な文字コードです: ") + parser.value(codePage));
    }
    return result;
}
