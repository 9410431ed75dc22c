#include "run/engine.h"

qint16 Engine::FTPputFILE(qint16 No)
{
    const qint16 stage = uploadOnce(No);
    if (stage == 1 && offerTrust(Inet2.refusedIdentity(), slotTag(No)))
        return uploadOnce(No);
    return stage;
}

qint16 Engine::uploadOnce(qint16 No)
{
    if (No < 0 || No > 8)
        return 0;
    qint16 stage = 0;
    int retries = 0;
    TransferSlot& slot = settings.slot[No];
    const auto report = [&](const QString& state) { reportSlotState(No, state); };

    // One call of the component under the failure rule: a busy component (35764) is asked again after a
    // pause, at most 501 times per upload; any other failure ends the upload. False when it must end.
    const auto attempt = [&](const auto& call) {
        for (;;) {
            const int number = call();
            if (number == 0)
                return true;
            Toolkit::yieldTimes(5001);
            if (retries > 500 || number != FtpTransfer::StillExecutingError)
                return false;
            ++retries;
        }
    };
    // The command's own failure shows in the busy query once it has ended. The wait sleeps on the event
    // loop until the worker posts its completion, handling ticks and clicks meanwhile.
    const auto waitForCommand = [&] {
        for (;;) {
            bool executing = false;
            if (!attempt([&] { return Inet2.StillExecuting(executing); }))
                return false;
            if (!executing)
                return true;
            Toolkit::waitForEvents();
        }
    };
    const auto run = [&](const QString& command) { return attempt([&] { return Inet2.Execute(command); }); };
    // A close handled in a yield between two commands finds nothing running to cancel: no further transfer
    // is begun, so the close does not wait for it. A page already stored is still logged out of cleanly.
    const auto begin = [&](const QString& command) { return !m_stopRequested && run(command); };

    report(QStringLiteral("接続開始"));
    [&] {
        const GlobalSettings& global = settings.global;
        if (!attempt([&] { return Inet2.setURL(global.FTPSERVERNAME); }))
            return;
        Toolkit::yieldOnce();
        if (!attempt([&] { return Inet2.setUserName(global.FTPUSERID); }))
            return;
        Toolkit::yieldOnce();
        if (!attempt([&] { return Inet2.setPassword(global.FTPUSERPASS); }))
            return;
        Toolkit::yieldOnce();
        stage = 1;
        report(QStringLiteral("転送中"));

        if (!begin(QStringLiteral("CD ") + slot.FTPDIR))
            return;
        Toolkit::yieldOnce();
        if (!waitForCommand())
            return;
        const QString workFile = FileNames::workFile(slot.TEMPLATE, No);
        if (!begin(QStringLiteral("PUT ") + workFile + QLatin1Char(' ') + slot.FTPFILENAME) || !waitForCommand())
            return;
        stage = 2;
        // The server has the page. A close cancels the QUIT it is waiting on rather than wait for a silent
        // server, and a logout given up by us is no failed upload.
        if ((!run(QStringLiteral("QUIT")) || !waitForCommand()) && !m_stopRequested)
            return;
        stage = 3;
    }();

    static const char* const finalTexts[] = {"FTP接続失敗", "FTP転送失敗", "FTP切断失敗", "実行完了"};
    QString why;
    if (stage == 3) {
        why = Clock::nowText() + QStringLiteral(" に転送しました");
    } else {
        why = Inet2.lastFailure().text();
        if (why.isEmpty())
            why = stage == 0 ? QStringLiteral("FTPサーバー名が正しくありません") : QStringLiteral("中止されました");
    }
    reportSlotState(No, QString::fromUtf8(finalTexts[stage]), why);
    Inet2.Cancel();
    Toolkit::yieldOnce();
    return stage;
}
