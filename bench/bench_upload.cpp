// Uploads TEMPLATE$$0 with the engine's FTPputFILE and prints the stage, wall time and the process's CPU time.
// Usage: bench_upload URL USER PASSWORD TEMPLATE FTPDIR FTPFILENAME
#include "run/engine.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

class BenchView : public FormView
{
public:
    QString IP_address() const override { return {}; }
    void setIP_address(const QString&) override {}
    QString CHIKANto0() const override { return {}; }
    void setCHIKANto0(const QString&) override {}
    QString CHIKANto1() const override { return {}; }
    void setCHIKANto1(const QString&) override {}
    QString FTP_now() const override { return {}; }
    void setFTP_now(const QString&) override {}
    QString FTP_Kekka() const override { return {}; }
    void setFTP_Kekka(const QString&) override {}
    QString GlobalURL() const override { return {}; }
    bool UseRoute(int) const override { return false; }
    QString TIMERset() const override { return {}; }
    void Set_Memory(int) override {}
    void Put_Memory(int) override {}
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 7) {
        std::fprintf(stderr, "usage: %s URL USER PASSWORD TEMPLATE FTPDIR FTPFILENAME\n", argv[0]);
        return 2;
    }
    BenchView view;
    Engine engine(view, CodePage("UTF-8"));
    engine.settings.global.FTPSERVERNAME = QString::fromLocal8Bit(argv[1]);
    engine.settings.global.FTPUSERID = QString::fromLocal8Bit(argv[2]);
    engine.settings.global.FTPUSERPASS = QString::fromLocal8Bit(argv[3]);
    TransferSlot& slot = engine.settings.slot[0];
    slot.TEMPLATE = QString::fromLocal8Bit(argv[4]);
    slot.FTPDIR = QString::fromLocal8Bit(argv[5]);
    slot.FTPFILENAME = QString::fromLocal8Bit(argv[6]);
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    const qint16 stage = engine.FTPputFILE(0);
    std::printf("stage %d wall %.3f s cpu %.3f s\n", stage, double(timer.nsecsElapsed()) / 1e9,
                cpuSeconds() - cpuBefore);
    return stage == 3 ? 0 : 1;
}
