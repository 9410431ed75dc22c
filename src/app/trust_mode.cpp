#include "app/console_view.h"
#include "app/modes.h"
#include "platform/ftp_endpoint.h"
#include "platform/server_identity.h"
#include "platform/sftp_session.h"
#include "platform/tls_trust.h"
#include "settings/ini_file.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QUrl>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

// One server the settings name, as far as its identity: scheme, host and port, and how to reach it.
struct Server
{
    QString label; // "sftp://host:22"
    std::optional<FtpEndpoint> endpoint;
    QByteArray echoUrl; // an https echo page instead
};

class Output
{
public:
    Output() { m_file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered); }
    void line(const QString& text = {})
    {
        m_file.write(QStringEncoder(QStringConverter::System).encode(text + QLatin1Char('\n')));
    }
    void prompt(const QString& text) { m_file.write(QStringEncoder(QStringConverter::System).encode(text)); }

private:
    QFile m_file;
};

QString standingText(ServerIdentity::Standing standing)
{
    switch (standing) {
    case ServerIdentity::Standing::Trusted:
        return QStringLiteral("信頼済み");
    case ServerIdentity::Standing::Unknown:
        return QStringLiteral("未登録");
    case ServerIdentity::Standing::Changed:
        return QStringLiteral("変更あり (信頼されているものと違います)");
    case ServerIdentity::Standing::Revoked:
        return QStringLiteral("失効 (known_hosts で @revoked とされています)");
    case ServerIdentity::Standing::Refused:
        return QStringLiteral("拒否 (登録しても使えません)");
    }
    return {};
}

// "y" or "yes" from the terminal; anything else, or nothing, is no.
bool answeredYes()
{
    QByteArray answer;
    for (int c; (c = std::getchar()) != EOF && c != '\n';)
        answer += char(c);
    answer = answer.trimmed().toLower();
    return answer == "y" || answer == "yes";
}

ServerIdentity probe(const Server& server, QString& failure)
{
    TransferFailure failed;
    if (server.endpoint && server.endpoint->isSftp()) {
        const std::atomic<bool> never{false};
        SftpSession session(never);
        FtpTransfer::Timeouts timeouts;
        timeouts.connectMs = TlsPeerCheck::ProbeLimitMs;
        timeouts.responseSeconds = TlsPeerCheck::ProbeLimitMs / 1000;
        const ServerIdentity identity = session.probe(*server.endpoint, timeouts, failed);
        if (!identity.isSet())
            failure = failed.fullText();
        return identity;
    }
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl)
        return {};
    ServerIdentity identity;
    if (server.endpoint) {
        curl_easy_setopt(curl.get(), CURLOPT_URL, server.endpoint->curlUrl.constData());
        server.endpoint->applyTo(curl.get());
        const QString scheme = server.label.section(QStringLiteral("://"), 0, 0);
        identity = TlsPeerCheck::probe(curl.get(), scheme, server.endpoint->host, server.endpoint->port,
                                       TlsPeerCheck::ProbeLimitMs);
    } else {
        const QUrl url(QString::fromUtf8(server.echoUrl));
        curl_easy_setopt(curl.get(), CURLOPT_URL, server.echoUrl.constData());
        curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "https");
        identity = TlsPeerCheck::probe(curl.get(), QStringLiteral("https"), url.host().toUtf8(), url.port(443),
                                       TlsPeerCheck::ProbeLimitMs);
    }
    if (!identity.isSet())
        failure = QStringLiteral("サーバーに接続できないか、TLS で応答しません");
    return identity;
}

} // namespace

int runTrust(ConsoleView& view, const CodePage& codePage)
{
    SettingsModel settings;
    settings.applyDefaults();
    Load_ini(settings, codePage);
    Output out;

    QList<Server> servers;
    const QString ftpServer = settings.global.FTPSERVERNAME.trimmed();
    if (!ftpServer.isEmpty()) {
        Server server;
        server.endpoint = FtpEndpoint::parse(ftpServer);
        if (!server.endpoint) {
            view.printLine(QStringLiteral("veltora: FTPサーバー名が正しくありません: ") + ftpServer);
        } else if (server.endpoint->isSftp() || server.endpoint->usesTls()) {
            server.label = QString::fromUtf8(server.endpoint->serverKey);
            servers << server;
        } else {
            out.line(QString::fromUtf8(server.endpoint->serverKey) +
                     QStringLiteral(" 暗号化なし: 確かめる鍵や証明書はありません"));
        }
    }
    // The echo pages in use: the IPv4 one, and the IPv6 one when the IPv6 address is looked up from a page.
    QStringList echoPages{settings.global.GLOBALURL};
    if (settings.global.USEIPV6 == Ipv6EchoPage)
        echoPages << settings.global.GLOBALURL6;
    for (const QString& page : std::as_const(echoPages)) {
        const QUrl echo(page.trimmed());
        if (echo.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0 || echo.host().isEmpty())
            continue;
        Server server;
        server.echoUrl = echo.toEncoded();
        server.label = QStringLiteral("https://%1:%2").arg(echo.host()).arg(echo.port(443));
        if (std::none_of(servers.cbegin(), servers.cend(),
                         [&](const Server& known) { return known.label == server.label; }))
            servers << server;
    }

    const bool terminal = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
    bool allTrusted = true;
    for (const Server& server : std::as_const(servers)) {
        QString failure;
        const ServerIdentity identity = probe(server, failure);
        out.line();
        if (!identity.isSet()) {
            out.line(server.label);
            out.line(QStringLiteral("状態: 確かめられません (%1)").arg(failure));
            allTrusted = false;
            continue;
        }
        out.line(identity.description());
        out.line(QStringLiteral("状態: ") + standingText(identity.standing));
        if (identity.standing == ServerIdentity::Standing::Trusted)
            continue;
        if (identity.standing == ServerIdentity::Standing::Changed)
            out.line(identity.changeNotice());
        if (!identity.mayBeTrusted() || !terminal) {
            allTrusted = false;
            continue;
        }
        out.prompt(QStringLiteral(
            "指紋がサーバーの管理者から知らされたものと同じなら y を入力してください。信頼しますか? [y/N]: "));
        if (!answeredYes()) {
            out.line(QStringLiteral("信頼しませんでした"));
            allTrusted = false;
            continue;
        }
        QString why;
        if (!ServerTrust::record(identity, &why)) {
            view.printLine(QStringLiteral("veltora: ") + why);
            allTrusted = false;
            continue;
        }
        out.line(QStringLiteral("信頼しました: ") +
                 (identity.kind == ServerIdentity::Kind::HostKey
                      ? ServerTrust::knownHostsPath()
                      : QDir::current().absoluteFilePath(QString::fromLatin1(ServerTrust::TrustedCertificates))));
    }
    if (!terminal && !allTrusted)
        out.line(QStringLiteral("\n端末ではないため、何も登録していません"));
    return allTrusted ? 0 : CheckFailedStatus;
}
