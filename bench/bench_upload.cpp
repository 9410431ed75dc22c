// Uploads TEMPLATE$$0 with the engine's FTPputFILE and prints the stage, wall time and the process's CPU time.
// Usage: bench_upload URL USER PASSWORD TEMPLATE FTPDIR FTPFILENAME
#include "fake_view.h"
#include "run/engine.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s URL USER PASSWORD TEMPLATE FTPDIR FTPFILENAME\n", argv[0]);
        return 2;
    }
    FakeView view;
    Engine engine(view, CodePage("UTF-8"));
    engine.settings.global.FTPSERVERNAME = QString::fromLocal8Bit(argv[1]);
    engine.settings.global.FTPUSERID = QString::fromLocal8Bit(argv[2]);
    engine.settings.global.FTPUSERPASS = QString::fromLocal8Bit(argv[3]);
    TransferSlot& slot = engine.settings.slot[0];
    slot.TEMPLATE = QString::fromLocal8Bit(argv[4]);
    slot.FTPDIR = QString::fromLocal8Bit(argv[5]);
    slot.FTPFILENAME = QString::fromLocal8Bit(argv[6]);
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const qint16 stage = engine.FTPputFILE(0);
    std::printf("stage %d wall %.3f s cpu %.3f s\n", stage, double(timer.nsecsElapsed()) / 1e9,
                processCpuSeconds() - cpuBefore);
    return stage == 3 ? 0 : 1;
}
