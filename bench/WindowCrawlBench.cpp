// The main window crawling a site as a user would start it, offscreen: the GUI thread's
// responsiveness during the crawl, measured by a 10 ms timer that notes the gap between its
// ticks. Run by bench/window-crawl.sh under /usr/bin/time beside lurvik-cli on the same site.
#include "ui/Application.h"
#include "ui/BusyLoop.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_windowcrawl URL\n");
        return 2;
    }
    lurvik::Application app;
    app.start();
    std::vector<qint64> gaps;
    int pages = 0;
    QElapsedTimer crawl;
    {
        lurvik::MainWindow window(app);
        window.show();

        QElapsedTimer sinceTick;
        QTimer probe;
        probe.setInterval(10);
        QObject::connect(&probe, &QTimer::timeout, [&] { gaps.push_back(sinceTick.restart()); });
        QObject::connect(app.busyLoop, &lurvik::BusyLoop::retrievalEnded, &qt, [&] {
            probe.stop();
            pages = app.engine.doneNodes.len();
            qt.quit();
        });
        crawl.start();
        if (!window.startSite(QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "bench_windowcrawl: cannot start %s\n", argv[1]);
            return 1;
        }
        sinceTick.start();
        probe.start();
        qt.exec();
    }
    const qint64 wall = crawl.elapsed();
    if (gaps.empty())
        gaps.push_back(0);
    std::sort(gaps.begin(), gaps.end());
    std::printf("pages %d crawl_ms %lld probe_median_ms %lld probe_worst_ms %lld\n", pages,
                static_cast<long long>(wall), static_cast<long long>(gaps[gaps.size() / 2]),
                static_cast<long long>(gaps.back()));
    return 0;
}
