// How a Find window keeps up with a large search: on a site of 50,000 finished pages, the time
// from Find Now to the first row on screen and the longest time the window's thread could not
// answer (a 1 ms timer that notes the longest gap between its ticks) while the search runs and
// every row is added. Each search runs nine times; the table gives the median and the worst
// round. The figures belong in bench/README.md.
#include "find/gui/CriteriaTabs.h"
#include "find/gui/FindWindow.h"
#include "find/gui/ResultsModel.h"
#include "retrieval/AgentPool.h"
#include "retrieval/SiteEngine.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace lurvik;

constexpr int kPages = 50000;
constexpr int kLinksPerPage = 2;
constexpr int kRounds = 9;

const char* const kTopics[] = {"harbour", "market", "station", "library", "museum", "garden", "bridge"};

void buildSite(SiteEngine& engine) {
    for (int i = 0; i < kPages; ++i) {
        auto node = std::make_unique<SiteNode>(
            URL("http://www.site.example/s" + std::to_string(i % 97) + "/p" + std::to_string(i) + ".html"));
        node->title = "Page " + std::to_string(i) + " about the " + kTopics[i % 7];
        node->state = NODE_DONE;
        for (int l = 0; l < kLinksPerPage; ++l)
            node->links.add(
                LINK_HYPERLINK,
                URL("http://www.site.example/p" + std::to_string((i * 7 + l * 131) % kPages) + ".html"),
                Str("Link " + std::to_string(l)));
        engine.adoptDoneNode(std::move(node));
    }
}

struct Figures {
    double firstRowMs = 0;
    double longestStallMs = 0;
    double allRowsMs = 0;
    int rows = 0;
};

Figures measure(FindWindow& window, int type, const QString& text) {
    auto* typeList = window.findChild<QComboBox*>(QStringLiteral("objectType"));
    typeList->setCurrentIndex(type);
    window.findChild<QComboBox*>(QStringLiteral("searchText"))->setEditText(text);
    window.findChild<QCheckBox*>(QStringLiteral("lookInTitle"))->setChecked(true);

    Figures figures;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        figures.longestStallMs = std::max(figures.longestStallMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QMetaObject::Connection firstRow;
    probe.start();
    sinceTick.start();
    clock.start();
    window.runCommand(FindCmdFindNow);
    // The window was created before, so the list exists from the first search on.
    firstRow = QObject::connect(window.results(), &QAbstractItemModel::rowsInserted, [&] {
        if (figures.firstRowMs == 0)
            figures.firstRowMs = clock.nsecsElapsed() / 1e6;
    });
    while (window.isSearching() || window.rowsPending() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    figures.allRowsMs = clock.nsecsElapsed() / 1e6;
    probe.stop();
    QObject::disconnect(firstRow);
    figures.rows = window.results()->rowCount();
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    SiteEngine engine;
    AgentPool pool;
    buildSite(engine);
    FindHost host;
    host.engine = &engine;
    host.pool = &pool;
    FindWindow window(host);
    window.show();
    // A first search creates the results list, which later searches reuse.
    window.findChild<QComboBox*>(QStringLiteral("searchText"))->setEditText(QStringLiteral("no such title"));
    window.runCommand(FindCmdFindNow);
    while (window.isSearching())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    struct Case {
        const char* name;
        int type;
        const char* text;
    } cases[] = {
        {"title search, 1 in 7 pages", 0, "harbour"},
        {"title search, every page", 0, "Page"},
        {"every link and page", 2, ""},
    };
    std::printf("%-28s %7s %22s %22s %14s\n", "search", "rows", "first row ms (median/max)",
                "longest stall ms (median/max)", "all rows ms");
    for (const Case& c : cases) {
        std::vector<Figures> rounds;
        for (int round = 0; round < kRounds; ++round)
            rounds.push_back(measure(window, c.type, QString::fromLatin1(c.text)));
        auto median = [&rounds](double Figures::*field) {
            std::vector<double> values;
            for (const Figures& f : rounds)
                values.push_back(f.*field);
            std::sort(values.begin(), values.end());
            return std::make_pair(values[values.size() / 2], values.back());
        };
        auto [firstMedian, firstMax] = median(&Figures::firstRowMs);
        auto [stallMedian, stallMax] = median(&Figures::longestStallMs);
        auto [allMedian, allMax] = median(&Figures::allRowsMs);
        (void)allMax;
        std::printf("%-28s %7d %12.1f / %-9.1f %12.1f / %-9.1f %14.1f\n", c.name, rounds.back().rows,
                    firstMedian, firstMax, stallMedian, stallMax, allMedian);
    }
    window.close();
    return 0;
}
