#pragma once

#include "platform/code_page.h"
#include "platform/ftp_transfer.h"
#include "platform/http_transfer.h"
#include "platform/local_address.h"
#include "platform/server_identity.h"
#include "run/file_names.h"
#include "run/form_view.h"
#include "run/toolkit.h"
#include "settings/settings_model.h"

#include <QList>
#include <QObject>

#include <array>

#include <functional>
#include <optional>

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
    qint16 IpCheckState = 0; // -1 connection impossible, 0 not obtained, 1 found
    QString IpCheckReason;   // why the last check failed, in Japanese; empty after a success
    // The same for the IPv6 address, when USEIPV6 asks for it; state 0 while it is not looked up.
    qint16 IpCheckState6 = 0;
    QString IpCheckReason6;
    qint16 SelectedTab = 0;  // 0 none chosen yet, 1 "基本設定", 2 to 10 the slots
    qint16 TickCount = 0;
    bool FirstRunPending = true;
    IntervalTimer Timer1;

    // Internet transfer stand-ins: Inet1 fetches the echo page (ipcheck/), Inet2 drives the FTP upload
    // (publish/).
    HttpTransfer Inet1;
    FtpTransfer Inet2;

    // Socket stand-in: the local machine's address (ipcheck/).
    LocalAddress Winsock1;

    // Address lookup (ipcheck/).
    void GlobalIPaddress();
    void LocalIPaddress();
    // The IPv6 address, from the echo page GLOBALURL6 (fetched over IPv6 only) or this computer's interface.
    void GlobalIPv6address();
    void LocalIPv6address();

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

    // Every wait yields, so a tick, a click or a close can arrive in the middle of a run. One piece of work
    // runs at a time: a run (timed or run-now), a transfer-now, a check-now or the exit-time run. What
    // arrives meanwhile is refused, and a close waits until the work has ended (see whenIdle()).
    bool isBusy() const { return m_busy; }

    // Asks the work in progress to end early: a fetch or FTP command under way is cancelled, except a page
    // being stored, which is let finish; no further fetch, command or slot is begun. Used when the program
    // is asked to end.
    void requestStop();
    bool stopRequested() const { return m_stopRequested; }

    // From the program's shutdown on, no new work starts (the exit-time run is made all the same).
    void stopAcceptingWork() { m_acceptsWork = false; }

    // Calls action now when no work is in progress, else as soon as the work in progress has ended.
    void whenIdle(std::function<void()> action);

signals:
    // Every event Save_Log is given, whether or not LOG writes it: the modes without a window judge a
    // run's outcome by them.
    void eventRecorded(const QString& Str1, const QString& Str2);
    // A change worth a desktop notification, told once per change: a slot that starts failing (text: why),
    // one that works again, a new address. Nothing while the state stays as it is, nothing once the program
    // is ending.
    void stateChanged(const QString& title, const QString& text, bool failure);

private:
    // Marks the engine busy for its lifetime; started() is false when other work was already in progress or
    // the program is ending, and the guard then changes nothing.
    class WorkGuard
    {
    public:
        explicit WorkGuard(Engine& engine);
        ~WorkGuard();
        bool started() const { return m_started; }

    private:
        Engine& m_engine;
        bool m_started;
    };

    // One upload of slot No, as FTPputFILE describes it; FTPputFILE adds the offer to trust the server.
    qint16 uploadOnce(qint16 No);

    // For a run the user started: shows what an untrusted server showed of itself and records it when the user
    // trusts it. True when it was recorded and the work may be done again (once). `subject` names the slot or
    // the address check in the log.
    bool offerTrust(const ServerIdentity& identity, const QString& subject);

    // An echo page fetched, its answer kept in answerFile and read back from there: the answer, or why not
    // (interrupted when a close cut it short). url is asked between the yields, as the window's box stands.
    struct EchoFetch
    {
        std::optional<QByteArray> answer;
        QString reason;
        bool interrupted = false;
    };
    EchoFetch fetchEchoPage(const std::function<QString()>& url, const char* answerFile);

    // The lookup chosen by the UseRoute buttons as they stand in the window, then the IPv6 lookup that
    // USEIPV6 asks for; false when a close cut it short, the window then showing what it showed before.
    bool lookUpAddress();
    // The IPv6 part of lookUpAddress(); false when a close cut it short.
    bool lookUpAddress6();
    // The log lines of the IPv6 check after the address line: the address or "失敗", and why.
    void logAddress6(const QString& event);
    // A slot that puts the IPv6 address into its page is not sent without one: true (the slot's result line
    // and the log say so) when slot No must wait for it.
    bool heldBackForIpv6(qint16 No, const QString& when);

    // "[設定n]": how the status texts, the log and the notifications name slot No.
    static QString slotTag(qint16 No);
    // "[設定n] state (date and time)" as the slot's ResultText and the status line; toolTip says why.
    void reportSlotState(qint16 No, const QString& state, const QString& toolTip = QString());
    // The log line after a failed upload's: "失敗理由","[設定n] reason".
    void logFailureReason(qint16 No);
    // The address line's caption and what stands behind it.
    void showAddress(const QString& caption, const QString& toolTip);
    void showAddress6(const QString& caption, const QString& toolTip);

    // What the last notification said of each slot and of the address.
    enum class SlotHealth : qint8 { Unknown, Working, Failing };
    std::array<SlotHealth, SlotCount> m_slotHealth{};
    QString m_knownAddress;
    QString m_knownAddress6;
    void noteSlotHealth(qint16 No, const QString& state, const QString& toolTip);
    void noteAddress(QString& known, const QString& address, const QString& title);

    FormView& m_view;
    const CodePage m_codePage; // by value: callers may pass a temporary
    bool m_busy = false;
    bool m_stopRequested = false;
    bool m_lookupInterrupted = false; // the last GlobalIPaddress was cut short by a close
    bool m_acceptsWork = true;
    bool m_userStarted = false; // the work in progress was started by a click: 今すぐ実行, 今すぐ転送, 今すぐ確認
    QList<std::function<void()>> m_whenIdle;
};
