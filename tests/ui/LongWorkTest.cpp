// The window over big sites and a working day: long work runs in slices with a way out, failures
// say what failed, the views follow the engine without being asked, and the lists export in forms
// other programs open.
#include "TestServer.h"
#include "UiTestSupport.h"
#include "analysis/gui/RatingPasswords.h"
#include "analysis/gui/RowsCsv.h"
#include "find/gui/FindHost.h"
#include "find/gui/FindWindow.h"
#include "find/gui/FindWizard.h"
#include "find/gui/ResultsModel.h"
#include "retrieval/SiteEngine.h"
#include "sitemap/SiteMapFile.h"
#include "ui/Application.h"
#include "ui/BusyLoop.h"
#include "ui/Commands.h"
#include "ui/FindCommands.h"
#include "ui/LinkFilterBar.h"
#include "ui/LinkListModel.h"
#include "ui/MainWindow.h"
#include "ui/MapFileCommands.h"
#include "ui/OptionsSheet.h"
#include "ui/PrintEntries.h"
#include "ui/PrintJob.h"
#include "ui/SlicedWork.h"
#include "ui/SourcePane.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDebug>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <chrono>
#include <memory>
#include <thread>

using namespace lurvik;
using lurvik::test::fileBytes;
using lurvik::test::outputOf;
using lurvik::test::pdfPrinter;
using lurvik::test::TestServer;

namespace {

constexpr int kWaitMs = 120000;

// A site of `pages` pages as a map: page i links to pages 10i+1 to 10i+10, so the tree is ten
// wide and five deep, each page shown once.
int writeWideMap(const QString& name, int pages) {
    SiteEngine engine;
    std::vector<SiteNode*> nodes;
    nodes.reserve(pages);
    for (int i = 0; i < pages; ++i) {
        const std::string address = "http://big.example/p" + std::to_string(i) + ".html";
        SiteNode* node = engine.findOrAddNode(URL(address), 0);
        node->title = "Page " + std::to_string(i);
        node->state = NODE_DONE;
        engine.finishNode(node);
        nodes.push_back(node);
    }
    for (int i = 0; i < pages; ++i)
        for (int child = i * 10 + 1; child <= i * 10 + 10 && child < pages; ++child) {
            nodes[i]->links.add(LINK_HYPERLINK, nodes[child]->url, "next");
            nodes[i]->children.add(nodes[child]);
            nodes[child]->parents.add(nodes[i]);
        }
    SiteMapFile map;
    map.fileName = Str(name.toStdString());
    return map.save(engine, nullptr, false);
}

// Every item below item that has children, expanded or not in view.
int countExpanded(const SiteTreeModel& model, const QTreeView& view, const SiteTreeModel::Item* top,
                  int& parents) {
    int expanded = 0;
    std::vector<const SiteTreeModel::Item*> stack{top};
    while (!stack.empty()) {
        const SiteTreeModel::Item* item = stack.back();
        stack.pop_back();
        if (item->children.empty())
            continue;
        ++parents;
        expanded += view.isExpanded(model.indexOf(item)) ? 1 : 0;
        stack.insert(stack.end(), item->children.begin(), item->children.end());
    }
    return expanded;
}

QStringList statusColumn(const LinkListModel& links) {
    QStringList out;
    for (int row = 0; row < links.rowCount(); ++row)
        out << links.index(row, LinkListModel::ColumnStatus).data().toString();
    return out;
}

} // namespace

class LongWorkTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestServer> server;
    std::unique_ptr<Application> app;
    std::unique_ptr<MainWindow> window;

    QString url(const char* path) const { return QString::fromStdString(server->url(path)); }
    bool waitForEnd() {
        return QTest::qWaitFor(
            [this] { return !app->busyLoop->isBusy() && !window->action(CmdStop)->isEnabled(); }, kWaitMs);
    }

private slots:
    void init() {
        server = std::make_unique<TestServer>();
        server->addPage("/index.html", "<html><title>Home</title><body><a href=\"a.html\">A</a>"
                                       "<a href=\"b.html\">B</a></body></html>");
        server->addPage("/a.html", "<html><title>Page A</title><body>a</body></html>");
        server->addPage("/b.html", "<html><title>Page B</title><body>b</body></html>");
        QCOMPARE(server->start(), 0);
        app = std::make_unique<Application>();
        app->start();
        window = std::make_unique<MainWindow>(*app);
        window->show();
    }
    void cleanup() {
        window.reset();
        app.reset();
        server.reset();
    }

    // Expand All from a tree opened one level, Collapse All, and an Expand All cancelled part-way.
    void expandAllOnABigMap() {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("big.web"));
        QCOMPARE(writeWideMap(name, 100000), 0);
        // Opening shows its progress window at once and builds the tree a slice at a time; Cancel
        // leaves the window as it was.
        QCOMPARE(window->mapFiles().openMap(name), 0);
        QPointer<SlicedWork> fill = window->mapFiles().mapFill();
        QVERIFY(fill);
        QVERIFY(QTest::qWaitFor([&fill] { return fill.isNull() || fill->progressWindow(); }, kWaitMs));
        QVERIFY(fill && fill->progressWindow()->isVisible());
        fill->cancel();
        QVERIFY(QTest::qWaitFor([&fill] { return fill.isNull(); }, kWaitMs));
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(0));
        QCOMPARE(app->engine.nodeCount(), 0);

        QCOMPARE(window->mapFiles().openMap(name), 0);
        fill = window->mapFiles().mapFill();
        QVERIFY(QTest::qWaitFor([&fill] { return fill.isNull(); }, kWaitMs));
        QCOMPARE(app->engine.doneNodes.len(), 100000);
        SiteTreeModel& model = *window->treeModel();
        QTreeView& view = *window->treeView();
        SiteTreeModel::Item* site = model.root()->children.front();
        view.expand(model.indexOf(site));
        window->selectItem(model.root());

        window->runCommand(CmdExpandAll);
        QPointer<SlicedWork> work = window->expansion();
        QVERIFY(work);
        QVERIFY(QTest::qWaitFor([&work] { return work.isNull(); }, kWaitMs));
        int parents = 0;
        const int expandedAll = countExpanded(model, view, model.root(), parents);
        QCOMPARE(expandedAll, parents);
        QVERIFY(parents > 10000);

        window->runCommand(CmdCollapseAll);
        work = window->expansion();
        QVERIFY(QTest::qWaitFor([&work] { return work.isNull(); }, kWaitMs));
        parents = 0;
        QCOMPARE(countExpanded(model, view, model.root(), parents), 0);

        // Cancelled before its first slice, it leaves the tree as it was.
        window->runCommand(CmdExpandAll);
        work = window->expansion();
        bool completed = true;
        connect(work, &SlicedWork::finished, [&completed](bool done) { completed = done; });
        work->cancel();
        QVERIFY(QTest::qWaitFor([&work] { return work.isNull(); }, kWaitMs));
        QVERIFY(!completed);
        parents = 0;
        QCOMPARE(countExpanded(model, view, model.root(), parents), 0);

        // A window closed while the work waits for its next slice takes the work with it.
        window->runCommand(CmdExpandAll);
        work = window->expansion();
        window.reset();
        QVERIFY(work.isNull());
        QTest::qWait(100);
    }

    // Work that outlasts half a second shows a progress window whose Cancel ends it.
    void slicedWorkShowsProgressAndCancels() {
        int steps = 0;
        auto* work = new SlicedWork(
            window.get(), QStringLiteral("Working..."),
            [&steps] {
                ++steps;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                return true;
            },
            [] { return 50; });
        QPointer<SlicedWork> alive(work);
        bool completed = true;
        connect(work, &SlicedWork::finished, [&completed](bool done) { completed = done; });
        work->start();
        QVERIFY(QTest::qWaitFor([&] { return alive && alive->progressWindow(); }, kWaitMs));
        QProgressDialog* progress = alive->progressWindow();
        QCOMPARE(progress->labelText(), QStringLiteral("Working..."));
        QVERIFY(QTest::qWaitFor([progress] { return progress->value() == 50; }, kWaitMs));
        progress->findChild<QPushButton*>()->click();
        QVERIFY(QTest::qWaitFor([&alive] { return alive.isNull(); }, kWaitMs));
        QVERIFY(!completed);
        const int stoppedAt = steps;
        QTest::qWait(100);
        QCOMPARE(steps, stoppedAt);
    }

    // The box comes up before a big job is measured, and says how far the measuring has got.
    void bigPrintShowsItsBoxBeforeLayout() {
        QTemporaryDir dir;
        std::vector<PrintEntry> entries;
        for (int i = 0; i < 40000; ++i)
            entries.push_back({{QStringLiteral("Page %1 (http://big.example/p%1.html)").arg(i)}, i % 6});
        const QString file = dir.filePath(QStringLiteral("big.pdf"));
        auto* job = new PrintJob(pdfPrinter(file), QStringLiteral("Lurvik Web Tree"),
                                 QStringLiteral("Full Site Explorer Map"), std::move(entries), window.get());
        QPointer<PrintJob> alive(job);
        job->start();
        QVERIFY(job->printingBox() && job->printingBox()->isVisible());
        QCOMPARE(job->pageCount(), 0);
        auto* progress = job->printingBox()->findChild<QLabel*>(QStringLiteral("printProgress"));
        QVERIFY(progress);
        QVERIFY(QTest::qWaitFor(
            [progress] { return progress->text().startsWith(QStringLiteral("Laying out")); }, kWaitMs));
        QVERIFY(QTest::qWaitFor([progress] { return progress->text().startsWith(QStringLiteral("Page ")); },
                                kWaitMs));
        QVERIFY2(progress->text().contains(QStringLiteral(" of %1").arg(alive->pageCount())),
                 qPrintable(progress->text()));
        QVERIFY(alive->pageCount() > 100);
        job->printingBox()->findChild<QPushButton*>()->click();
        QVERIFY(QTest::qWaitFor([&alive] { return alive.isNull(); }, kWaitMs));
        QVERIFY(!QFile::exists(file));
        QVERIFY(window->isEnabled());
    }

    // A start address whose port refuses says so in a box that names it and the reason.
    void unreachableStartIsTold() {
        const QString refused = QStringLiteral("http://127.0.0.1:1/");
        QVERIFY(window->startSite(refused));
        QVERIFY(waitForEnd());
        QMessageBox* box = nullptr;
        QVERIFY(QTest::qWaitFor(
            [&] {
                return (box = window->findChild<QMessageBox*>(QStringLiteral("startFailure"))) != nullptr;
            },
            kWaitMs));
        QVERIFY2(box->text().startsWith(QStringLiteral("Cannot fetch the start page %1: ").arg(refused)) &&
                     box->text().size() > refused.size() + 32,
                 qPrintable(box->text()));
        box->close();
        QTRY_VERIFY(!window->findChild<QMessageBox*>(QStringLiteral("startFailure")));
        // Told once, not at every later change of the same page.
        window->treeModel()->nodeChanged(window->treeModel()->root()->children.front()->node, 1);
        QVERIFY(!window->findChild<QMessageBox*>(QStringLiteral("startFailure")));
    }

    // The selected page's link statuses and source follow the retrieval without a new selection.
    void selectedPageFollowsTheRetrieval() {
        server->setReplyDelay(std::chrono::milliseconds(150));
        LinkListModel& links = *window->linkModel();
        QStringList told;
        auto note = [&] { told = statusColumn(links); };
        connect(&links, &QAbstractItemModel::dataChanged, note);
        connect(&links, &QAbstractItemModel::modelReset, note);
        QVERIFY(window->startSite(url("/index.html")));
        window->runCommand(CmdHtmlSource);
        QVERIFY(waitForEnd());
        QTest::qWait(300);
        SiteTreeModel::Item* site = window->treeModel()->root()->children.front();
        QCOMPARE(window->selectedItem(), site);
        QCOMPARE(links.rowCount(), 2);
        QCOMPARE(told, statusColumn(links));
        QVERIFY(!window->sourcePane()->noticeShown());
        QVERIFY(window->sourceView()->toPlainText().contains(QStringLiteral("<title>Home</title>")));
    }

    // Removing a site takes its results out of the open Find windows; another site's stay.
    void findWindowsDropRemovedSites() {
        TestServer other;
        other.addPage("/index.html", "<html><title>Other home</title><body>x</body></html>");
        QCOMPARE(other.start(), 0);
        QVERIFY(window->startSite(url("/index.html")));
        QVERIFY(waitForEnd());
        QVERIFY(window->startSite(QString::fromStdString(other.url("/index.html"))));
        QVERIFY(waitForEnd());
        FindWindow* find = window->findCommands().openFindWindow();
        find->findChild<QComboBox*>(QStringLiteral("objectType"))->setCurrentIndex(0);
        find->runCommand(FindCmdFindNow);
        QVERIFY(
            QTest::qWaitFor([find] { return !find->isSearching() && find->rowsPending() == 0; }, kWaitMs));
        QCOMPARE(find->results()->rowCount(), 4);
        // Opened wholly on the screen, tall enough for twenty rows, its type column whole.
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY2(screen.contains(find->frameGeometry()),
                 qPrintable(QDebug::toString(screen) + QDebug::toString(find->frameGeometry())));
        QTreeView* results = find->resultsView();
        const bool roomForTwenty = screen.height() >= find->frameGeometry().height() -
                                                          results->viewport()->height() +
                                                          21 * results->sizeHintForRow(0);
        QVERIFY(!roomForTwenty || results->viewport()->height() >= 20 * results->sizeHintForRow(0));
        QVERIFY(results->columnWidth(1) >=
                results->fontMetrics().horizontalAdvance(QStringLiteral("Html Page")));

        window->selectItem(window->treeModel()->root()->children.front());
        window->runCommand(CmdRemoveSite);
        QCOMPARE(find->results()->rowCount(), 1);
        QCOMPARE(find->results()->index(0, 2).data().toString(),
                 QString::fromStdString(other.url("/index.html")));
        QCOMPARE(find->countText(), QStringLiteral("1 item(s) found"));
    }

    // The filter narrows the list by text and by status; the list as shown goes out as CSV that
    // Python's csv module reads back field for field.
    void linkListFilterAndCsv() {
        server->addPage("/list.html", "<html><title>List</title><body><a href=\"a.html\">First</a>"
                                      "<a href=\"gone.html\">Say \"hi\", now</a>"
                                      "<a href=\"http://other.example/\">Elsewhere</a>"
                                      "<a href=\"b.html\">Second</a></body></html>");
        QVERIFY(window->startSite(url("/list.html")));
        QVERIFY(waitForEnd());
        window->selectItem(window->treeModel()->root()->children.front());
        LinkListModel& links = *window->linkModel();
        QCOMPARE(links.rowCount(), 4);
        auto names = [&links] {
            QStringList out;
            for (int row = 0; row < links.rowCount(); ++row)
                out << links.index(row, LinkListModel::ColumnLink).data().toString();
            return out;
        };
        LinkFilterBar& filter = *window->linkFilter();
        filter.statusList()->setCurrentIndex(1);
        QCOMPARE(names(), QStringList{QStringLiteral("Say \"hi\", now")});
        filter.statusList()->setCurrentIndex(2);
        QCOMPARE(names(), QStringList{QStringLiteral("Elsewhere")});
        filter.statusList()->setCurrentIndex(0);
        filter.textBox()->setText(QStringLiteral("B.HTML"));
        QCOMPARE(names(), QStringList{QStringLiteral("Second")});
        filter.textBox()->setText(QStringLiteral("sec"));
        QCOMPARE(names(), QStringList{QStringLiteral("Second")});
        filter.textBox()->clear();
        QCOMPARE(links.rowCount(), 4);
        QCOMPARE(links.unfilteredCount(), 4);

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("links.csv"));
        QString error;
        QCOMPARE(saveRowsAsCsv(links, file, error), 0);
        const QString read =
            outputOf(QStringLiteral("python3"),
                     {QStringLiteral("-c"),
                      QStringLiteral("import csv, sys\nfor row in csv.reader(open(sys.argv[1], newline='', "
                                     "encoding='utf-8')): print('|'.join(row))"),
                      file});
        const QStringList rows = read.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0], QStringLiteral("Link Name|Type|URL Name|Status"));
        QVERIFY2(rows[2].startsWith(QStringLiteral("Say \"hi\", now|")) &&
                     rows[2].contains(url("/gone.html")) && rows[2].contains(QStringLiteral("|failed")),
                 qPrintable(rows[2]));
        QVERIFY(fileBytes(file).endsWith("\r\n"));
        QCOMPARE(saveRowsAsCsv(links, dir.filePath(QStringLiteral("none/links.csv")), error), 1);
        QVERIFY(!error.isEmpty());

        // Printed, the summary keeps each link's status and the tree each failure's.
        const std::vector<PrintEntry> summary = linkEntries(links);
        QCOMPARE(summary.size(), size_t(4));
        QVERIFY2(summary[1].columns[1].contains(QStringLiteral("\nfailed")),
                 qPrintable(summary[1].columns[1]));
        QVERIFY(summary[0].columns[1].contains(QStringLiteral("\ndone")));
        QStringList tree;
        for (const PrintEntry& entry : treeEntries(*window->treeModel(), false))
            tree << entry.columns.front();
        QVERIFY2(tree.filter(QStringLiteral("[failed 404: ")).size() == 1, qPrintable(tree.join('\n')));
    }

    // Save As's second form is what lurvik-cli export --html5 writes for the same map; Find's
    // three forms come from the window's rows.
    void exportsInBothForms() {
        QVERIFY(window->startSite(url("/index.html")));
        QVERIFY(waitForEnd());
        QTemporaryDir dir;
        const QString fromWindow = dir.filePath(QStringLiteral("window.html"));
        QCOMPARE(window->mapFiles().exportTree(fromWindow, window->treeModel()->root(),
                                               MapFileCommands::TreeForm::Html5),
                 0);
        SiteMapFile map;
        map.fileName = Str(dir.filePath(QStringLiteral("site.web")).toStdString());
        QCOMPARE(map.save(app->engine, nullptr, false), 0);
        const QString fromCli = dir.filePath(QStringLiteral("cli.html"));
        outputOf(QStringLiteral(LURVIK_CLI),
                 {"export", QString::fromStdString(map.fileName.str()), "--html5", fromCli});
        QVERIFY(fileBytes(fromWindow).startsWith("<!DOCTYPE html>"));
        QCOMPARE(fileBytes(fromWindow), fileBytes(fromCli));

        FindWindow* find = window->findCommands().openFindWindow();
        find->findChild<QComboBox*>(QStringLiteral("objectType"))->setCurrentIndex(0);
        find->runCommand(FindCmdFindNow);
        QVERIFY(
            QTest::qWaitFor([find] { return !find->isSearching() && find->rowsPending() == 0; }, kWaitMs));
        const QString html5 = dir.filePath(QStringLiteral("found.html"));
        const QString csv = dir.filePath(QStringLiteral("found.csv"));
        QCOMPARE(find->exportResults(html5, FindWindow::ResultsForm::Html5), 0);
        QCOMPARE(find->exportResults(csv, FindWindow::ResultsForm::Csv), 0);
        QVERIFY(fileBytes(html5).contains("<p>3 results.</p>"));
        QCOMPARE(fileBytes(csv).count("\r\n"), 4);
        QVERIFY(fileBytes(csv).startsWith("Link Name,Type,URL Name\r\n"));
    }

    // With "Check links" on, the images and downloads a retrieval does not follow are requested
    // once it ends, and the link list shows what they answered; off, they stay unchecked.
    void checkLinksAfterARetrieval() {
        server->addPage("/pics.html", "<html><title>Pictures</title><body><img src=\"pic.gif\">"
                                      "<img src=\"lost.gif\"><a href=\"a.html\">A</a></body></html>");
        lurvik::test::Page picture;
        picture.contentType = "image/gif";
        picture.body = "GIF89a";
        server->addPage("/pic.gif", picture);
        auto statuses = [this] {
            window->selectItem(window->treeModel()->root()->children.front());
            return statusColumn(*window->linkModel());
        };
        QVERIFY(window->startSite(url("/pics.html")));
        QVERIFY(waitForEnd());
        QCOMPARE(statuses().mid(0, 2), (QStringList{"unchecked", "unchecked"}));
        window->runCommand(CmdRemoveAll);

        app->settings.checkLinks = 1;
        QVERIFY(window->startSite(url("/pics.html")));
        QVERIFY(waitForEnd());
        const QStringList checked = statuses();
        QVERIFY2(checked[0].startsWith(QStringLiteral("checked")) &&
                     checked[1].startsWith(QStringLiteral("broken")),
                 qPrintable(checked.join('|')));
    }

    // An access key in a label needs a buddy to go to, or the label shows the "&" itself; the
    // ratings prompt is wide enough for its caption.
    void accessKeysHaveSomewhereToGo() {
        FindHost host;
        host.engine = &app->engine;
        host.pool = &app->pool;
        FindWizard wizard(host, [](const FindCriteria&, bool) {});
        OptionsSheet options(*app, window.get());
        FindWindow* find = window->findCommands().openFindWindow();
        QStringList lost;
        for (QWidget* top : {static_cast<QWidget*>(&wizard), static_cast<QWidget*>(&options),
                             static_cast<QWidget*>(find), static_cast<QWidget*>(window.get())})
            for (QLabel* label : top->findChildren<QLabel*>()) {
                const QString text = QString(label->text()).remove(QStringLiteral("&&"));
                if (label->textFormat() != Qt::RichText && text.contains(QLatin1Char('&')) && !label->buddy())
                    lost << label->text();
            }
        QVERIFY2(lost.isEmpty(), qPrintable(lost.join(" | ")));

        // The Advanced page's captions are this program's own: each key leads to one control.
        options.tabs()->setCurrentIndex(3);
        QWidget* advanced = options.tabs()->currentWidget();
        QStringList keys;
        auto keyOf = [](const QString& text) {
            const qsizetype at =
                QString(text).replace(QStringLiteral("&&"), QStringLiteral("__")).indexOf('&');
            return at >= 0 && at + 1 < text.size() ? text.at(at + 1).toLower() : QChar();
        };
        for (QAbstractButton* button : advanced->findChildren<QAbstractButton*>())
            if (QChar key = keyOf(button->text()); !key.isNull())
                keys << key;
        for (QLabel* label : advanced->findChildren<QLabel*>())
            if (QChar key = keyOf(label->text()); !key.isNull())
                keys << key;
        QStringList repeated = keys;
        repeated.removeDuplicates();
        QVERIFY2(repeated.size() == keys.size(), qPrintable(keys.join(' ')));

        RatingPasswordDialog prompt(1, window.get());
        QVERIFY(prompt.minimumWidth() > prompt.fontMetrics().horizontalAdvance(prompt.windowTitle()));
    }

    // The print dialog shows what will be printed without a click on "Options >>".
    void printWhatIsInSight() {
        QVERIFY(window->startSite(url("/index.html")));
        QVERIFY(waitForEnd());
        bool shown = false;
        lurvik::test::answerNextModal([&shown](QWidget* dialog) {
            QTimer::singleShot(100, dialog, [dialog, &shown] {
                auto* panel = dialog->findChild<PrintWhatPanel*>();
                shown = panel && panel->isVisible();
                static_cast<QDialog*>(dialog)->reject();
            });
        });
        window->runCommand(CmdPrint);
        QVERIFY(shown);
    }
};

QObject* makeLongWorkTest() {
    return new LongWorkTest;
}

#include "LongWorkTest.moc"
