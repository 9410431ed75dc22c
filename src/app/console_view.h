#pragma once

#include "run/form_view.h"

#include <QString>

class QIODevice;
struct SettingsModel;

// The shared controls for the modes without a window: plain fields with the window's start-up captions.
// Every status line (what the window shows in FTP_now) goes to a stream, one line each with the time, in the
// terminal's encoding; the echo page, the router choice and the period are answered from the settings, as the
// window would show them right after start-up. There is no editor, so the copy steps do nothing.
class ConsoleView : public FormView
{
public:
    // status: where the status lines go; standard error when none is given.
    explicit ConsoleView(QIODevice* status = nullptr);
    ~ConsoleView() override;

    // The model the answers come from (the engine's, made after the view); until then they are empty.
    void setSettings(const SettingsModel* settings) { m_settings = settings; }

    QString IP_address() const override { return m_ipAddress; }
    void setIP_address(const QString& caption) override { m_ipAddress = caption; }
    QString CHIKANto0() const override { return m_chikanTo0; }
    void setCHIKANto0(const QString& text) override { m_chikanTo0 = text; }
    QString CHIKANto1() const override { return m_chikanTo1; }
    void setCHIKANto1(const QString& text) override { m_chikanTo1 = text; }
    QString IP_address6() const override { return m_ipAddress6; }
    void setIP_address6(const QString& caption) override { m_ipAddress6 = caption; }
    QString CHIKANto2() const override { return m_chikanTo2; }
    void setCHIKANto2(const QString& text) override { m_chikanTo2 = text; }
    QString FTP_now() const override { return m_ftpNow; }
    void setFTP_now(const QString& caption) override;
    QString FTP_Kekka() const override { return m_ftpKekka; }
    void setFTP_Kekka(const QString& caption) override { m_ftpKekka = caption; }
    // The reason behind a failed status line follows it on a line of its own.
    void setFTP_nowToolTip(const QString& text) override;

    QString GlobalURL() const override;
    bool UseRoute(int index) const override;
    QString TIMERset() const override;

    void Set_Memory(int) override {}
    void Put_Memory(int) override {}

    // How much a line matters, as syslog and the journal rank it.
    enum class Priority { Error = 3, Warning = 4, Info = 6 };

    // When standard error is the journal (JOURNAL_STREAM is set), every line starts with its priority ("<3>")
    // and carries no time of its own, the journal keeping both. Quiet: failures and warnings only (for cron).
    void setJournal(bool journal) { m_journal = journal; }
    void setQuiet(bool quiet) { m_quiet = quiet; }

    // Writes one line to the status stream as it is, without the time.
    void printLine(const QString& line, Priority priority = Priority::Error);

    // Qt's messages (a failed command's diagnostic among them) go to the status stream with their priority.
    void takeOverMessages();

private:
    // The line with the time in front, unless the journal keeps the time.
    QString stamped(const QString& line) const;

    const SettingsModel* m_settings = nullptr;
    QIODevice* m_status;
    bool m_ownsStatus = false;
    bool m_journal = false;
    bool m_quiet = false;
    QString m_ipAddress = QStringLiteral("未取得");
    QString m_chikanTo0 = QStringLiteral("HOSTNAME");
    QString m_chikanTo1 = QStringLiteral("NOWDTTM");
    QString m_ipAddress6; // empty: no IPv6 address was looked up
    QString m_chikanTo2 = QStringLiteral("HOSTNAME6");
    QString m_ftpNow = QStringLiteral("未実行");
    QString m_ftpKekka;
};
