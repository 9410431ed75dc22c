#pragma once

#include <QByteArray>
#include <QString>

// Why an upload failed, as the user reads it: the step that failed (connect, TLS, host key, login, folder,
// store, rename, logout) and the server's own reply where it gave one. The password never appears in it:
// replies are cleaned with printableReply() before they are kept.
struct TransferFailure
{
    enum class Stage { None, Connect, Tls, HostKey, Login, Folder, Store, Rename, Logout, LocalFile, Cancelled };

    Stage stage = Stage::None;
    QString reason; // what went wrong at that step, in Japanese: "ログインが拒否されました"
    QString reply;  // the server's reply line ("530 Login incorrect"), already printable; empty when none
    QString detail; // the transfer library's own words, for standard error and the log

    bool isFailure() const { return stage != Stage::None; }

    // "ログインが拒否されました (530 Login incorrect)"
    QString text() const;
    // text() and the library's words: "ログインが拒否されました (530 Login incorrect) [Access denied: 530]"
    QString fullText() const;

    // The stage's own name, for lines that name the step: "ログイン".
    static QString stageName(Stage stage);

    // A reply line as it may be shown: control characters escaped (\x1b, \r ...), invalid UTF-8 replaced, and
    // the password masked wherever a server echoed it back.
    static QString printableReply(const QByteArray& reply, const QString& password);
};
