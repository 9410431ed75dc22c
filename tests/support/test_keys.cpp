#include "test_keys.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace {

bool openssl(const QString& dir, const QStringList& arguments, QString* error, QByteArray* output = nullptr)
{
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1: %2%3")
                     .arg(arguments.join(u' '), process.errorString(),
                          QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

bool write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

const QStringList EcKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};

} // namespace

namespace TestKeys {

bool makeCertificates(const QString& dir, QString* error)
{
    const auto run = [&](const QStringList& arguments) { return openssl(dir, arguments, error); };
    // An authority, and an "openssl ca" set-up that can sign with any validity period, even one long past.
    const QByteArray config = "[ca]\ndefault_ca = test\n"
                              "[test]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n"
                              "default_md = sha256\npolicy = any\nunique_subject = no\n"
                              "[any]\ncommonName = supplied\n"
                              "[local]\nsubjectAltName = IP:127.0.0.1\nbasicConstraints = CA:FALSE\n"
                              "extendedKeyUsage = serverAuth\n"
                              "[other]\nsubjectAltName = DNS:other.example\nbasicConstraints = CA:FALSE\n"
                              "extendedKeyUsage = serverAuth\n";
    if (!write(QDir(dir).filePath(QStringLiteral("ca.cnf")), config) ||
        !write(QDir(dir).filePath(QStringLiteral("index.txt")), "") ||
        !write(QDir(dir).filePath(QStringLiteral("serial")), "01\n")) {
        *error = QStringLiteral("cannot write in %1").arg(dir);
        return false;
    }
    if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + EcKey +
             QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                         QStringLiteral("ca.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                         QStringLiteral("-subj"), QStringLiteral("/CN=Veltora test authority"),
                         QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                         QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}))
        return false;
    struct Signed
    {
        const char* kind;
        const char* name;
        const char* extensions;
        const char* start;
        const char* end;
    };
    const Signed certificates[] = {
        {"good", "127.0.0.1", "local", nullptr, nullptr},
        {"wrong-name", "other.example", "other", nullptr, nullptr},
        {"expired", "127.0.0.1", "local", "20200101000000Z", "20200201000000Z"},
    };
    for (const Signed& certificate : certificates) {
        const QString kind = QString::fromLatin1(certificate.kind);
        QStringList sign{QStringLiteral("ca"),
                         QStringLiteral("-batch"),
                         QStringLiteral("-notext"),
                         QStringLiteral("-config"),
                         QStringLiteral("ca.cnf"),
                         QStringLiteral("-cert"),
                         QStringLiteral("ca.pem"),
                         QStringLiteral("-keyfile"),
                         QStringLiteral("ca.key"),
                         QStringLiteral("-extensions"),
                         QString::fromLatin1(certificate.extensions),
                         QStringLiteral("-in"),
                         kind + QStringLiteral(".csr"),
                         QStringLiteral("-out"),
                         kind + QStringLiteral(".pem")};
        if (certificate.start)
            sign << QStringLiteral("-startdate") << QString::fromLatin1(certificate.start) << QStringLiteral("-enddate")
                 << QString::fromLatin1(certificate.end);
        else
            sign << QStringLiteral("-days") << QStringLiteral("2");
        if (!run(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + EcKey +
                 QStringList{QStringLiteral("-keyout"), kind + QStringLiteral(".key"), QStringLiteral("-out"),
                             kind + QStringLiteral(".csr"), QStringLiteral("-subj"),
                             QStringLiteral("/CN=") + QString::fromLatin1(certificate.name)}) ||
            !run(sign))
            return false;
    }
    // The authority alone in a folder, under its hash name, for SSL_CERT_DIR.
    if (!QDir(dir).mkpath(QStringLiteral("authorities")) ||
        !QFile::copy(QDir(dir).filePath(QStringLiteral("ca.pem")),
                     QDir(dir).filePath(QStringLiteral("authorities/ca.pem"))) ||
        !run({QStringLiteral("rehash"), QStringLiteral("authorities")}))
        return false;
    return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + EcKey +
               QStringList{QStringLiteral("-keyout"), QStringLiteral("self-signed.key"), QStringLiteral("-out"),
                           QStringLiteral("self-signed.pem"), QStringLiteral("-days"), QStringLiteral("2"),
                           QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                           QStringLiteral("subjectAltName=IP:127.0.0.1")});
}

QByteArray makeHostKey(const QString& path, QString* error)
{
    QByteArray der;
    if (!openssl(QDir::currentPath(),
                 {QStringLiteral("genpkey"), QStringLiteral("-algorithm"), QStringLiteral("ed25519"),
                  QStringLiteral("-out"), path},
                 error) ||
        !openssl(QDir::currentPath(),
                 {QStringLiteral("pkey"), QStringLiteral("-in"), path, QStringLiteral("-pubout"),
                  QStringLiteral("-outform"), QStringLiteral("DER")},
                 error, &der))
        return {};
    // OpenSSH's public key blob: the type and the 32 key bytes (the end of the DER form), each with its length.
    const auto sshString = [](const QByteArray& bytes) {
        const quint32 size = quint32(bytes.size());
        return QByteArray(1, char(size >> 24)) + char(size >> 16) + char(size >> 8) + char(size) + bytes;
    };
    const QByteArray blob = sshString("ssh-ed25519") + sshString(der.right(32));
    return "ssh-ed25519 " + blob.toBase64();
}

QByteArray makeSshHostKey(const QString& path, const QString& type, QString* error)
{
    QProcess keygen;
    keygen.start(QStringLiteral("ssh-keygen"), {QStringLiteral("-q"), QStringLiteral("-t"), type, QStringLiteral("-N"),
                                                QString(), QStringLiteral("-f"), path});
    QFile pub(path + QStringLiteral(".pub"));
    if (!keygen.waitForFinished(30000) || keygen.exitCode() != 0 || !pub.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("ssh-keygen -t %1: %2%3")
                     .arg(type, keygen.errorString(), QString::fromLocal8Bit(keygen.readAll()));
        return {};
    }
    // The type and the key, without the comment.
    const QList<QByteArray> fields = pub.readAll().split(' ');
    return fields.size() >= 2 ? fields[0] + ' ' + fields[1].trimmed() : QByteArray();
}

QByteArray knownHostsLine(quint16 port, const QByteArray& publicKey)
{
    return "[127.0.0.1]:" + QByteArray::number(port) + ' ' + publicKey + '\n';
}

} // namespace TestKeys
