#include "platform/server_identity.h"

#include "platform/known_hosts.h"
#include "platform/regular_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr char BeginLine[] = "-----BEGIN CERTIFICATE-----";
constexpr char EndLine[] = "-----END CERTIFICATE-----";

QByteArray pemOf(const QByteArray& der)
{
    const QByteArray base64 = der.toBase64();
    QByteArray pem = QByteArray(BeginLine) + '\n';
    for (qsizetype at = 0; at < base64.size(); at += 64)
        pem += base64.mid(at, 64) + '\n';
    return pem + EndLine + '\n';
}

// Appends `text` to `path`, made owner-only when missing. known_hosts is the user's and may be a link to a
// regular file; a file of the settings folder is the program's own and never one.
bool appendTo(const QString& path, const QByteArray& text, bool ownFile, QString* why)
{
    QFile file(path);
    const bool existed = QFileInfo::exists(path);
    if (ownFile) {
        if (!RegularFile::openForWriting(file, path, RegularFile::Write::Append, why))
            return false;
    } else if (existed && !QFileInfo(path).isFile()) {
        *why = QStringLiteral("%1 は通常のファイルではありません").arg(path);
        return false;
    } else if (!file.open(QIODevice::ReadWrite | QIODevice::Append)) {
        *why = QStringLiteral("%1 に書き込めません: %2").arg(path, file.errorString());
        return false;
    }
    if (!existed)
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    // A last line without its line end is finished first, so that ours starts a line of its own.
    QByteArray written = text;
    QFile reader(path);
    if (file.size() > 0 && reader.open(QIODevice::ReadOnly) && reader.seek(file.size() - 1) && reader.read(1) != "\n")
        written.prepend('\n');
    if (file.write(written) != written.size() || !file.flush()) {
        *why = QStringLiteral("%1 に書き込めません: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

QString ServerIdentity::fingerprint() const
{
    return kind == Kind::HostKey ? ServerTrust::keyFingerprint(key) : ServerTrust::certificateFingerprint(certificate);
}

QString ServerIdentity::hostAndPort() const
{
    const QString name = QString::fromUtf8(host);
    return (name.contains(u':') ? u'[' + name + u']' : name) + u':' + QString::number(port);
}

QString ServerIdentity::description() const
{
    QStringList lines;
    lines << QStringLiteral("サーバー: %1://%2").arg(scheme, hostAndPort());
    if (kind == Kind::HostKey) {
        lines << QStringLiteral("鍵の種類: %1").arg(QString::fromUtf8(keyType));
        lines << QStringLiteral("指紋: %1").arg(fingerprint());
    } else {
        lines << QStringLiteral("発行先: %1").arg(subject);
        lines << QStringLiteral("発行者: %1").arg(issuer);
        lines << QStringLiteral("有効期間: %1 から %2 まで").arg(validFrom, validUntil);
        lines << QStringLiteral("指紋 (SHA-256): %1").arg(fingerprint());
        if (!tlsVerdict.isEmpty())
            lines << QStringLiteral("システムの判定: %1").arg(tlsVerdict);
    }
    return lines.join(u'\n');
}

QString ServerIdentity::changeNotice() const
{
    QStringList lines;
    for (const QString& old : trustedFingerprints)
        lines << QStringLiteral("以前の指紋: %1").arg(old);
    lines << QStringLiteral("新しい指紋: %1").arg(fingerprint()) << QString();
    if (kind == Kind::HostKey) {
        const QByteArray name = KnownHosts::lookupName(host, port);
        lines << QStringLiteral("サーバーの管理者に変更を確かめたうえで、古い鍵を次のコマンドで消してから、"
                                "もう一度接続してください:\nssh-keygen -R '%1'")
                     .arg(QString::fromUtf8(name));
    } else {
        lines << QStringLiteral("サーバーの管理者に変更を確かめたうえで、設定フォルダーの %1 から「# %2」の行と"
                                "その下の証明書を消してから、もう一度接続してください。")
                     .arg(QString::fromLatin1(ServerTrust::TrustedCertificates), hostAndPort());
    }
    return lines.join(u'\n');
}

QString ServerIdentity::trustQuestion() const
{
    const bool hostKey = kind == Kind::HostKey;
    if (standing == Standing::Changed)
        return (hostKey ? QStringLiteral("サーバーのホスト鍵が、信頼されているものから変わりました。")
                        : QStringLiteral("サーバーの証明書が、信頼されているものから変わりました。")) +
               QStringLiteral("第三者が接続に割り込んでいるおそれがあるため、接続しません。\n\n") + description() +
               QStringLiteral("\n\n") + changeNotice();
    return (hostKey ? QStringLiteral("サーバーのホスト鍵はまだ信頼されていません。")
                    : QStringLiteral("サーバーの証明書はシステムに信頼されていません。")) +
           QStringLiteral("\n\n") + description() +
           QStringLiteral("\n\n指紋がサーバーの管理者から知らされたものと同じときだけ「信頼して接続」を押して"
                          "ください。");
}

namespace ServerTrust {

QString knownHostsPath()
{
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

QString keyFingerprint(const QByteArray& key)
{
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64(QByteArray::OmitTrailingEquals));
}

QString certificateFingerprint(const QByteArray& der)
{
    return QString::fromLatin1(QCryptographicHash::hash(der, QCryptographicHash::Sha256).toHex(':').toUpper());
}

QByteArray knownHostsLine(const QByteArray& host, int port, const QByteArray& type, const QByteArray& key)
{
    return KnownHosts::lookupName(host, port) + ' ' + type + ' ' + key.toBase64() + '\n';
}

QList<QByteArray> trustedCertificates(const QByteArray& fileText, const QString& hostAndPort)
{
    QList<QByteArray> found;
    QString server; // named by the comment line just before the certificate
    QByteArray base64;
    bool inside = false;
    for (const QByteArray& raw : fileText.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!inside && line.startsWith('#')) {
            server = QString::fromUtf8(line.mid(1).trimmed());
        } else if (!inside && line == BeginLine) {
            inside = true;
            base64.clear();
        } else if (inside && line == EndLine) {
            inside = false;
            const auto der = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
            if (der && !der.decoded.isEmpty() && !server.isEmpty() && server.compare(hostAndPort, Qt::CaseInsensitive) == 0)
                found << *der;
            server.clear(); // one comment, one certificate
        } else if (inside) {
            base64 += line;
        } else if (!line.isEmpty()) {
            server.clear();
        }
    }
    return found;
}

QList<QByteArray> trustedCertificates(const QString& hostAndPort)
{
    QFile file(QString::fromLatin1(TrustedCertificates));
    QString why;
    if (!RegularFile::openForReading(file, file.fileName(), &why, RegularFile::Links::Refuse))
        return {};
    return trustedCertificates(file.read(1024 * 1024), hostAndPort);
}

bool record(const ServerIdentity& identity, QString* why)
{
    QString ignored;
    if (!why)
        why = &ignored;
    if (!identity.mayBeTrusted()) {
        *why = QStringLiteral("変わった鍵や証明書はここでは信頼できません");
        return false;
    }
    if (identity.kind == ServerIdentity::Kind::HostKey) {
        const QString folder = QDir::homePath() + QStringLiteral("/.ssh");
        if (!QFileInfo::exists(folder)) {
            if (!QDir().mkpath(folder)) {
                *why = QStringLiteral("%1 を作れません").arg(folder);
                return false;
            }
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        return appendTo(knownHostsPath(),
                        knownHostsLine(identity.host, identity.port, identity.keyType, identity.key), false, why);
    }
    const QByteArray entry = "# " + identity.hostAndPort().toUtf8() + '\n' + pemOf(identity.certificate);
    return appendTo(QString::fromLatin1(TrustedCertificates), entry, true, why);
}

} // namespace ServerTrust
