#pragma once

#include "platform/code_page.h"
#include "platform/ftp_transfer.h"
#include "run/form_view.h"
#include "settings/settings_model.h"
#include "ui/toolkit.h"

#include <QObject>

// The main window's procedures that do the program's work: the address lookups, substitution, upload,
// the runs, the timer and the log. It owns the settings model and the run state; it reaches the window
// only through FormView.
class Engine : public QObject
{
    Q_OBJECT
public:
    explicit Engine(FormView& view, const CodePage& codePage = CodePage::system(), QObject* parent = nullptr);
    ~Engine() override;

    FormView& view() const { return m_view; }
    const CodePage& codePage() const { return m_codePage; }

    SettingsModel settings;
    qint16 IpCheckState = 0;     // -1 connection impossible, 0 not obtained, 1 found
    qint16 SelectedTab = 0;      // 0 none chosen yet, 1 "基本設定", 2 to 10 the slots
    qint16 TickCount = 0;
    bool FirstRunPending = true;
    IntervalTimer Timer1;

    // Internet transfer stand-ins: Inet1 fetches the echo page (ipcheck/), Inet2 drives the FTP upload
    // (publish/).
    FtpTransfer Inet2;

    // Address lookup (ipcheck/).
    void GlobalIPaddress();
    void LocalIPaddress();

    // Publishing (publish/).
    qint16 CHIKAN(qint16 No);
    qint16 FTPputFILE(qint16 No);

    // Runs, timer, on-demand commands and log (run/).
    void EXEC_EVENT();
    void EXEC_EVENT_Unload();
    void Timer1_Timer();
    void Auto_Re_Draw();
    void Command1_Click();
    void FTPcommand_Click();
    void GetGlobalIP_Click();
    void Save_Log(const QString& Str1, const QString& Str2);

private:
    FormView& m_view;
    const CodePage& m_codePage;
};
