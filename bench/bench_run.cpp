// One whole run through the window's run-now (Command1_Click) with nine enabled on-check slots: its wall time,
// the time until every slot showed 実行完了, where the time went, and the longest time the event loop went
// without handling an event (a 1 ms timer records the largest gap between its ticks); min, median, p90 and
// max over the runs. Templates page1.html to page9.html of SIZE_KB are written in the current directory; the work
// files the run leaves ("page<n>.html$$<n-1>") are what the script then sends with curl for comparison.
// Usage: bench_run ECHO_URL FTP_URL USER PASSWORD FTPDIR [SIZE_KB] [RUNS (50)]
#include "fake_view.h"
#include "run/engine.h"
#include "test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QPair>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// The window's shared controls as plain fields; every FTP_now text is stamped, to see where a run spends
// its time.
class BenchView : public FakeView
{
public:
    explicit BenchView(const QElapsedTimer& clock) : m_clock(clock) { route = 0; }

    QList<QPair<qint64, QString>> texts; // nanoseconds since the run began, FTP_now text

    void setFTP_now(const QString& caption) override
    {
        FakeView::setFTP_now(caption);
        texts.append({m_clock.nsecsElapsed(), caption});
    }
    void Set_Memory(int No) override
    {
        FakeView::Set_Memory(No);
        committedAt = m_clock.nsecsElapsed();
    }

    qint64 committedAt = 0; // the run's commit right after its lookup

private:
    const QElapsedTimer& m_clock;
};

double ms(qint64 nanoseconds)
{
    return double(nanoseconds) / 1e6;
}

// "min .. median .. p90 .. max" of the values, in milliseconds.
QString spread(QList<double> values)
{
    std::sort(values.begin(), values.end());
    const auto at = [&](double share) { return values[std::min(values.size() - 1, qsizetype(share * values.size()))]; };
    return QStringLiteral("min %1 ms, median %2 ms, p90 %3 ms, max %4 ms")
        .arg(values.first(), 0, 'f', 1)
        .arg(values[(values.size() - 1) / 2], 0, 'f', 1)
        .arg(at(0.9), 0, 'f', 1)
        .arg(values.last(), 0, 'f', 1);
}

// The time the last of the nine slots first showed 実行完了; -1 when one never did.
qint64 allDoneAt(const BenchView& view)
{
    qint64 last = 0;
    for (int n = 1; n <= SlotCount; ++n) {
        const QString tag = QStringLiteral("[設定%1]").arg(n);
        qint64 at = -1;
        for (const auto& [when, text] : view.texts) {
            if (text.startsWith(tag) && text.contains(QStringLiteral("実行完了"))) {
                at = when;
                break;
            }
        }
        if (at < 0)
            return -1;
        last = std::max(last, at);
    }
    return last;
}

// The time from the first text of slot text `tag` holding `first` to that slot's next text holding `last`
// (empty `last`: its last text).
qint64 span(const BenchView& view, const QString& tag, const QString& first, const QString& last)
{
    qint64 start = -1;
    qint64 end = -1;
    for (const auto& [at, text] : view.texts) {
        if (!text.startsWith(tag))
            continue;
        if (start < 0) {
            if (text.contains(first))
                start = at;
        } else if (last.isEmpty() || text.contains(last)) {
            end = at;
            if (!last.isEmpty())
                break;
        }
    }
    return start >= 0 && end >= 0 ? end - start : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s ECHO_URL FTP_URL USER PASSWORD FTPDIR [SIZE_KB] [RUNS]\n", argv[0]);
        return 2;
    }
    const int sizeKb = argc > 6 ? std::max(0, atoi(argv[6])) : 4;
    const int runs = argc > 7 ? std::max(1, atoi(argv[7])) : 50;

    QElapsedTimer clock;
    BenchView view(clock);
    view.globalUrl = QString::fromLocal8Bit(argv[1]);
    Engine engine(view, CodePage("UTF-8"));
    GlobalSettings& global = engine.settings.global;
    global.FTPSERVERNAME = QString::fromLocal8Bit(argv[2]);
    global.FTPUSERID = QString::fromLocal8Bit(argv[3]);
    global.FTPUSERPASS = QString::fromLocal8Bit(argv[4]);
    global.LOG = 1;
    for (int s = 0; s < SlotCount; ++s) {
        TransferSlot& slot = engine.settings.slot[s];
        slot.OKCHECK = 1;
        slot.EXEC_TIMING1 = true;
        slot.EXEC_TIMING2 = false;
        slot.TEMPLATE = QStringLiteral("page%1.html").arg(s + 1);
        slot.FTPDIR = QString::fromLocal8Bit(argv[5]);
        slot.FTPFILENAME = QStringLiteral("ours%1.html").arg(s + 1);
        QByteArray text = "<html><body>\r\n<p>HOSTNAME</p>\r\n<p>NOWDTTM</p>\r\n";
        while (text.size() < sizeKb * 1024)
            text += "<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor.</p>\r\n";
        text += "</body></html>\r\n";
        QFile file(slot.TEMPLATE);
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(slot.TEMPLATE));
            return 2;
        }
    }

    // The gap between two ticks of a 1 ms timer is the longest the loop went without handling an event.
    qint64 lastTick = 0;
    qint64 largestGap = 0;
    qint64 largestGapAt = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (now - lastTick > largestGap) {
            largestGap = now - lastTick;
            largestGapAt = now;
        }
        lastTick = now;
    });
    probe.start(1);

    // The bare cost of the counted wait the run makes before its slots, with the probe running.
    clock.start();
    Toolkit::yieldTimes(5001);
    std::printf("5001 yields alone: %.1f ms\n", ms(clock.nsecsElapsed()));

    bool allDone = true;
    QList<double> walls;
    QList<double> untilDone;
    QList<double> gaps;
    for (int r = 0; r < runs; ++r) {
        view.texts.clear();
        view.ipAddress = QStringLiteral("未取得");
        largestGap = 0;
        const double cpuBefore = processCpuSeconds();
        clock.restart();
        lastTick = 0;
        engine.Command1_Click();
        const qint64 wall = clock.nsecsElapsed();
        const qint64 done = allDoneAt(view);
        const double cpu = processCpuSeconds() - cpuBefore;

        // Where the largest gap fell: the status text on show at that moment.
        QString during = QStringLiteral("(before the first text)");
        for (const auto& [at, text] : view.texts) {
            if (at <= largestGapAt - largestGap)
                during = text;
        }
        qint64 substitution = 0;
        qint64 upload = 0;
        for (int n = 1; n <= SlotCount; ++n) {
            const QString tag = QStringLiteral("[設定%1]").arg(n);
            substitution += span(view, tag, QStringLiteral("置換中"), QStringLiteral("置換完了"));
            upload += span(view, tag, QStringLiteral("接続開始"), QString());
            allDone = allDone && engine.settings.slot[n - 1].ResultText.contains(QStringLiteral("実行完了"));
        }
        qint64 slotsStart = 0;
        for (const auto& [at, text] : view.texts) {
            if (text.startsWith(QStringLiteral("[設定1]"))) {
                slotsStart = at;
                break;
            }
        }
        std::printf("run %d: wall %.1f ms, every slot 実行完了 at %.1f ms, cpu %.3f s | lookup %.1f ms, counted wait "
                    "%.1f ms, 9 substitutions "
                    "%.1f ms, 9 uploads %.1f ms | largest event-loop gap %.2f ms during \"%s\"\n",
                    r + 1, ms(wall), ms(done), cpu, ms(view.committedAt), ms(slotsStart - view.committedAt),
                    ms(substitution), ms(upload), ms(largestGap), qPrintable(during));
        walls << ms(wall);
        allDone = allDone && done >= 0;
        untilDone << ms(done);
        gaps << ms(largestGap);
    }
    std::printf("run-now, %d runs: whole run %s\n", runs, qPrintable(spread(walls)));
    std::printf("run-now, %d runs: until 実行完了 on every slot %s\n", runs, qPrintable(spread(untilDone)));
    std::printf("largest gap over all runs %.2f ms, address %s, all nine done: %s\n",
                *std::max_element(gaps.begin(), gaps.end()), qPrintable(view.ipAddress), allDone ? "yes" : "no");
    return allDone ? 0 : 1;
}
