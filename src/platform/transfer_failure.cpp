#include "platform/transfer_failure.h"

QString TransferFailure::text() const
{
    if (!isFailure())
        return {};
    if (reply.isEmpty())
        return reason;
    return QStringLiteral("%1 (%2)").arg(reason, reply);
}

QString TransferFailure::fullText() const
{
    const QString main = text();
    if (detail.isEmpty() || detail == reason || main.contains(detail))
        return main;
    return QStringLiteral("%1 [%2]").arg(main, detail);
}

QString TransferFailure::stageName(Stage stage)
{
    switch (stage) {
    case Stage::None:
        return {};
    case Stage::Connect:
        return QStringLiteral("接続");
    case Stage::Tls:
        return QStringLiteral("TLS");
    case Stage::HostKey:
        return QStringLiteral("ホスト鍵");
    case Stage::Login:
        return QStringLiteral("ログイン");
    case Stage::Folder:
        return QStringLiteral("フォルダー");
    case Stage::Store:
        return QStringLiteral("保存");
    case Stage::Rename:
        return QStringLiteral("名前の変更");
    case Stage::Logout:
        return QStringLiteral("切断");
    case Stage::LocalFile:
        return QStringLiteral("ローカルファイル");
    case Stage::Cancelled:
        return QStringLiteral("中止");
    }
    return {};
}

QString TransferFailure::printableReply(const QByteArray& reply, const QString& password)
{
    QString text = QString::fromUtf8(reply.trimmed());
    if (!password.isEmpty())
        text.replace(password, QStringLiteral("****"));
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}
