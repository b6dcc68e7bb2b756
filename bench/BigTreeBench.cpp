// The main window over a big site map, offscreen: how long opening the map, Expand All from a
// tree opened one level, Collapse All and Remove All take, and the longest the GUI thread went
// without turning its event loop during each (a 10 ms timer notes the gaps between its ticks).
//   bench_bigtree MAP | PAGES     (PAGES: a generated map: page i links to
//   pages 10i+1..10i+10, a menu of five and two pages elsewhere)
#include "retrieval/SiteEngine.h"
#include "sitemap/SiteMapFile.h"
#include "ui/Application.h"
#include "ui/Commands.h"
#include "ui/MainWindow.h"
#include "ui/MapFileCommands.h"
#include "ui/SlicedWork.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

int writeWideMap(const QString& name, int pages) {
    lurvik::SiteEngine engine;
    std::vector<lurvik::SiteNode*> nodes;
    for (int i = 0; i < pages; ++i) {
        lurvik::SiteNode* node =
            engine.findOrAddNode(lurvik::URL("http://big.example/p" + std::to_string(i) + ".html"), 0);
        node->title = "Page " + std::to_string(i);
        node->state = lurvik::NODE_DONE;
        engine.finishNode(node);
        nodes.push_back(node);
    }
    auto join = [](lurvik::SiteNode* parent, lurvik::SiteNode* child) {
        if (parent == child || parent->children.find(child) >= 0)
            return;
        parent->links.add(lurvik::LINK_HYPERLINK, child->url, "next");
        parent->children.add(child);
        child->parents.add(parent);
    };
    // Ten pages below each, then a menu of five and two pages elsewhere: a real site's menus put
    // most pages under many parents, and the tree shows them under each.
    for (int i = 0; i < pages; ++i)
        for (int child = i * 10 + 1; child <= i * 10 + 10 && child < pages; ++child)
            join(nodes[i], nodes[child]);
    for (int i = 0; i < pages; ++i) {
        for (int menu = 1; menu <= 5 && menu < pages; ++menu)
            join(nodes[i], nodes[menu]);
        join(nodes[i], nodes[(i * 7 + 3) % pages]);
        join(nodes[i], nodes[(i * 13 + 5) % pages]);
    }
    lurvik::SiteMapFile map;
    map.fileName = lurvik::Str(name.toStdString());
    return map.save(engine, nullptr, false);
}

struct Probe {
    QElapsedTimer sinceTick;
    QTimer timer;
    qint64 worst = 0;
    Probe() {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { worst = std::max(worst, sinceTick.restart()); });
    }
    // Runs work, then the event loop until done says so; the wall time and the worst gap.
    void measure(const char* name, const std::function<void()>& work, const std::function<bool()>& done) {
        worst = 0;
        QElapsedTimer wall;
        wall.start();
        sinceTick.start();
        timer.start();
        work();
        worst = std::max(worst, sinceTick.elapsed());
        while (!done())
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        QApplication::processEvents();
        timer.stop();
        std::printf("%-12s %8lld ms, longest gap %6lld ms\n", name, static_cast<long long>(wall.elapsed()),
                    static_cast<long long>(worst));
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_bigtree MAP\n");
        return 2;
    }
    QString mapName = QString::fromLocal8Bit(argv[1]);
    QTemporaryDir dir;
    bool isCount = false;
    const int pages = mapName.toInt(&isCount);
    if (isCount) {
        mapName = dir.filePath(QStringLiteral("wide.web"));
        if (writeWideMap(mapName, pages) != 0)
            return 1;
    }
    lurvik::Application app;
    app.start();
    lurvik::MainWindow window(app);
    window.resize(1920, 1080);
    window.show();
    Probe probe;
    int result = 0;
    probe.measure(
        "open", [&] { result = window.mapFiles().openMap(mapName); },
        [&window] { return window.mapFiles().mapFill() == nullptr; });
    if (result != 0)
        return 1;
    lurvik::SiteTreeModel& model = *window.treeModel();
    window.treeView()->expand(model.indexOf(model.root()->children.front()));
    window.selectItem(model.root());
    auto expansionDone = [&window] { return window.expansion() == nullptr; };
    probe.measure(
        "expand all", [&] { window.runCommand(lurvik::CmdExpandAll); }, expansionDone);
    probe.measure(
        "collapse all", [&] { window.runCommand(lurvik::CmdCollapseAll); }, expansionDone);
    probe.measure(
        "remove all", [&] { window.runCommand(lurvik::CmdRemoveAll); }, [] { return true; });
    return 0;
}
