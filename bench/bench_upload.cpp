// Uploads TEMPLATE$$0 .. TEMPLATE$$(N-1) with the engine's FTPputFILE, one slot after another as a run does, and
// prints the stages, wall time and the process's CPU time. The password comes from the environment, never the
// command line.
// Usage: VELTORA_BENCH_PASSWORD=... bench_upload [--direct] [--slots N] URL USER TEMPLATE FTPDIR FTPFILENAME
//   --direct   store each page under its name instead of under a temporary name renamed into place
//   --slots N  upload N slots (1 to 9; 1 by default), each to FTPFILENAME with its slot number before the dot
#include "fake_view.h"
#include "run/engine.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    bool direct = false;
    int slotCount = 1;
    while (!arguments.isEmpty() && arguments.first().startsWith(QLatin1String("--"))) {
        const QString option = arguments.takeFirst();
        if (option == QLatin1String("--direct"))
            direct = true;
        else if (option == QLatin1String("--slots") && !arguments.isEmpty())
            slotCount = qBound(1, arguments.takeFirst().toInt(), 9);
    }
    if (arguments.size() < 5) {
        std::fprintf(stderr,
                     "usage: VELTORA_BENCH_PASSWORD=... %s [--direct] [--slots N] URL USER TEMPLATE FTPDIR "
                     "FTPFILENAME\n",
                     argv[0]);
        return 2;
    }
    FakeView view;
    Engine engine(view, CodePage("UTF-8"));
    engine.settings.global.FTPSERVERNAME = arguments[0];
    engine.settings.global.FTPUSERID = arguments[1];
    engine.settings.global.FTPUSERPASS = qEnvironmentVariable("VELTORA_BENCH_PASSWORD");
    if (direct)
        engine.Inet2.setReplacement(FtpTransfer::Replacement::Direct);
    for (int No = 0; No < slotCount; ++No) {
        TransferSlot& slot = engine.settings.slot[No];
        slot.TEMPLATE = arguments[2];
        slot.FTPDIR = arguments[3];
        const qsizetype dot = arguments[4].lastIndexOf(u'.');
        slot.FTPFILENAME = slotCount == 1
                               ? arguments[4]
                               : QString(arguments[4]).insert(dot < 0 ? arguments[4].size() : dot, QString::number(No));
    }
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QString stages;
    bool complete = true;
    for (int No = 0; No < slotCount; ++No) {
        const qint16 stage = engine.FTPputFILE(qint16(No));
        stages += QString::number(stage);
        complete = complete && stage == 3;
    }
    std::printf("stages %s wall %.3f s cpu %.3f s\n", qPrintable(stages), double(timer.nsecsElapsed()) / 1e9,
                processCpuSeconds() - cpuBefore);
    return complete ? 0 : 1;
}
