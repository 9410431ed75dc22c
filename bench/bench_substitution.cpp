// Substitutes one template with the engine's CHIKAN and prints the wall time in seconds and the peak memory.
// Usage: bench_substitution TEMPLATE [CODEC]   (writes TEMPLATE$$0)
#include "fake_view.h"
#include "run/engine.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

#include <sys/resource.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s TEMPLATE [CODEC]\n", argv[0]);
        return 2;
    }
    const CodePage codePage(argc > 2 ? QByteArray(argv[2]) : QByteArray("UTF-8"));
    FakeView view;
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
