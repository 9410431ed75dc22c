// Substitutes one template with the engine's CHIKAN and prints the wall time in seconds and the peak memory.
// Usage: bench_substitution TEMPLATE [CODEC]   (writes TEMPLATE$$0)
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
    QString CHIKANto0() const override { return QStringLiteral("203.0.113.9"); }
    void setCHIKANto0(const QString&) override {}
    QString CHIKANto1() const override { return QStringLiteral("2026/12/06 9:05:07"); }
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

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TEMPLATE [CODEC]\n", argv[0]);
        return 2;
    }
    const CodePage codePage(argc > 2 ? QByteArray(argv[2]) : QByteArray("UTF-8"));
    BenchView view;
    Engine engine(view, codePage);
    TransferSlot& slot = engine.settings.slot[0];
    slot.TEMPLATE = QString::fromLocal8Bit(argv[1]);
    slot.HOSTNAME = QStringLiteral("HOSTNAME");
    slot.HOSTNAMEEXEC = 1;
    slot.NOWDTTMEXEC = 0;
    QElapsedTimer timer;
    timer.start();
    const qint16 result = engine.CHIKAN(0);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    // Seconds, then the peak resident memory in MiB.
    std::printf("%.3f %.1f\n", double(timer.nsecsElapsed()) / 1e9, double(usage.ru_maxrss) / 1024);
    return result == 0 ? 0 : 1;
}
