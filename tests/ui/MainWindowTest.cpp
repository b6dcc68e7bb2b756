#include "ui/MainWindow.h"
#include "PeakMemory.h"
#include "TestServer.h"
#include "UiTestSupport.h"
#include "analysis/gui/RatingConfigSheet.h"
#include "analysis/gui/RatingPasswords.h"
#include "core/PageCache.h"
#include "platform/gui/QtText.h"
#include "render/BrowserProcess.h"
#include "retrieval/gui/DownloadWindow.h"
#include "sitemap/SiteMapFile.h"
#include "ui/Application.h"
#include "ui/BusyLoop.h"
#include "ui/Commands.h"
#include "ui/CompareMapsWindow.h"
#include "ui/HelpWindow.h"
#include "ui/LinkDownloads.h"
#include "ui/LinkListModel.h"
#include "ui/MapFileCommands.h"
#include "ui/OpenLocationDialog.h"
#include "ui/OptionsSheet.h"
#include "ui/PasswordDialog.h"
#include "ui/PrintEntries.h"
#include "ui/PrintJob.h"
#include "ui/PropertiesSheet.h"
#include "ui/SaveSiteMapDialog.h"
#include "ui/ScheduleRunner.h"
#include "ui/SchedulerDialog.h"
#include "ui/Shell.h"
#include "ui/SiteMonitor.h"
#include "ui/SourcePane.h"
#include "ui/WindowCheckpoints.h"
#include "ui/WindowPrinter.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <csignal>
#include <memory>

using namespace lurvik;
using lurvik::test::answerNext;
using lurvik::test::fileBytes;
using lurvik::test::outputOf;
using lurvik::test::pdfPrinter;
using lurvik::test::recordNextMessageBox;
using lurvik::test::TestServer;
using lurvik::test::writeFile;

namespace {

constexpr int kCrawlTimeoutMs = 30000;

const char* const kIndex = "<html><head><title>Home</title></head><body>"
                           "<a href=\"a.html\">First</a> <a href=\"b.html\">Second</a>"
                           "<a href=\"mailto:ann@example.com\">Mail</a><img src=\"pic.gif\"></body></html>";
const char* const kPageA = "<html><head><title>Page A</title></head><body>"
                           "<a href=\"b.html\">Again</a> <a href=\"index.html\">Up</a></body></html>";
const char* const kPageB = "<html><head><title>Page B</title></head><body>Nothing here</body></html>";

// The settings store's files, so that a test may change any setting and the next one still starts
// from what this one found.
QMap<QString, QByteArray> readStore() {
    QMap<QString, QByteArray> files;
    const QDir home(qEnvironmentVariable("LURVIK_CONFIG_HOME"));
    for (QDirIterator it(home.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(home.relativeFilePath(file.fileName()), file.readAll());
    }
    return files;
}

void writeStore(const QMap<QString, QByteArray>& files) {
    const QDir home(qEnvironmentVariable("LURVIK_CONFIG_HOME"));
    for (const QString& name : readStore().keys())
        if (!files.contains(name))
            QFile::remove(home.filePath(name));
    for (auto it = files.begin(); it != files.end(); ++it) {
        QFile file(home.filePath(it.key()));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(it.value());
    }
}

QStringList childTexts(const SiteTreeModel& model, const SiteTreeModel::Item* item) {
    QStringList out;
    for (const SiteTreeModel::Item* child : item->children)
        out << model.itemText(child);
    return out;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestServer> server;
    std::unique_ptr<Application> app;
    std::unique_ptr<MainWindow> window;
    QMap<QString, QByteArray> store;

    QString url(const char* path) const { return QString::fromStdString(server->url(path)); }
    bool waitForEnd() {
        return QTest::qWaitFor(
            [this] { return !app->busyLoop->isBusy() && !window->action(CmdStop)->isEnabled(); },
            kCrawlTimeoutMs);
    }
    // Closes the window and starts the program's state afresh from the stored settings.
    void restartApplication() {
        window->close();
        window.reset();
        app.reset();
        app = std::make_unique<Application>();
        app->start();
    }
    bool crawl(const char* path) { return window->startSite(url(path)) && waitForEnd(); }
    void openThroughDialog(const QString& address) {
        answerNext<OpenLocationDialog>([address](OpenLocationDialog* dialog) {
            dialog->combo()->setEditText(address);
            QMetaObject::invokeMethod(dialog, [dialog] {
                auto* box = dialog->findChild<QDialogButtonBox*>();
                emit box->accepted();
            });
        });
        window->runCommand(CmdOpenSite);
    }
    // Opens the Options sheet and hands it to `answer`, as the user's hands on the sheet.
    void withOptions(std::function<void(OptionsSheet*)> answer) {
        answerNext<OptionsSheet>(std::move(answer));
        window->runCommand(CmdOptions);
    }
    // What is still to do in a saved map; empty when it cannot be read.
    static CrawlFrontier frontierOf(const QString& file) {
        SiteMapAside saved;
        return saved.open(file.toStdString()) == 0 ? saved.map.frontier : CrawlFrontier{};
    }
    SiteTreeModel::Item* site() const {
        SiteTreeModel::Item* root = window->treeModel()->root();
        return root->children.empty() ? nullptr : root->children.front();
    }

private slots:
    void init() {
        store = readStore();
        server = std::make_unique<TestServer>();
        server->addPage("/index.html", kIndex);
        server->addPage("/a.html", kPageA);
        server->addPage("/b.html", kPageB);
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
        writeStore(store);
    }

    // The whole road: Open Location, the busy loop, the tree filling, and the views of the result.
    void crawlShowsTreeLinksAndSource() {
        QCOMPARE(window->windowTitle(), QStringLiteral("Lurvik"));
        QCOMPARE(window->statusUrlText(), QStringLiteral("Lurvik 1.0"));
        QVERIFY(!window->action(CmdStop)->isEnabled());
        QVERIFY(window->action(CmdFind)->isEnabled());

        openThroughDialog(url("/index.html"));
        QVERIFY(window->action(CmdStop)->isEnabled());
        QVERIFY(waitForEnd());

        SiteTreeModel& model = *window->treeModel();
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.root()->children.size(), size_t(1));
        SiteTreeModel::Item* home = site();
        QCOMPARE(model.itemText(home), QStringLiteral("Home"));
        QCOMPARE(childTexts(model, home), (QStringList{"Page A", "Page B"}));
        SiteTreeModel::Item* pageA = home->children[0];
        // b.html is linked from both pages: a duplicate item under a.html, the primary under the site.
        QCOMPARE(childTexts(model, pageA), (QStringList{"Page B", "Home"}));
        QCOMPARE(model.itemImage(home->children[1]), 4);
        QCOMPARE(model.itemImage(pageA->children[0]), 5);
        QCOMPARE(app->engine.doneNodes.len(), 3);

        QCOMPARE(window->windowTitle(), QStringLiteral("Lurvik [3 pages (0 waiting)]"));
        QVERIFY(!window->action(CmdStop)->isEnabled());
        QVERIFY(window->action(CmdRemoveSite)->isEnabled());

        window->selectItem(home);
        QCOMPARE(window->statusUrlText(), url("/index.html"));
        QCOMPARE(window->statusInfoText(), QStringLiteral("Home"));
        LinkListModel& links = *window->linkModel();
        QCOMPARE(links.rowCount(), 4);
        QCOMPARE(links.index(0, 0).data().toString(), QStringLiteral("First"));
        QCOMPARE(links.index(0, 2).data().toString(), url("/a.html"));
        QCOMPARE(links.index(2, 2).data().toString(), QStringLiteral("mailto:ann@example.com"));
        QVERIFY(!links.index(3, 1).data().toString().isEmpty());
        QVERIFY(!links.index(0, 0).data(Qt::DecorationRole).isNull());

        // A column click sorts ascending, a second one descending; a refill forgets both.
        auto column = [&links] {
            QStringList out;
            for (int row = 0; row < links.rowCount(); ++row)
                out << links.index(row, 0).data().toString();
            return out;
        };
        QStringList ascending = column();
        std::sort(ascending.begin(), ascending.end());
        links.clickColumn(LinkListModel::ColumnLink);
        QCOMPARE(links.sortDescending(), 0);
        QCOMPARE(column(), ascending);
        // The selected row stays on its link when the order changes.
        auto* table = window->findChild<QTreeView*>(QStringLiteral("linkList"));
        table->setCurrentIndex(links.index(int(ascending.indexOf(QStringLiteral("Mail"))), 0));
        links.clickColumn(LinkListModel::ColumnLink);
        QCOMPARE(links.sortDescending(), 1);
        QCOMPARE(column().first(), ascending.last());
        QCOMPARE(table->currentIndex().data().toString(), QStringLiteral("Mail"));
        window->selectItem(pageA);
        window->selectItem(home);
        QCOMPARE(links.sortColumn(), -1);
        QCOMPARE(links.index(0, 0).data().toString(), QStringLiteral("First"));

        window->runCommand(CmdHtmlSource);
        QVERIFY(window->sourceView()->isVisible());
        QVERIFY(window->sourceView()->toPlainText().contains(QStringLiteral("<title>Home</title>")));
        QVERIFY(window->action(CmdCopy)->isEnabled());
        window->runCommand(CmdShowHtmlTags);
        QCOMPARE(window->sourceView()->toPlainText(), QStringLiteral("HomeFirst SecondMail"));
        window->runCommand(CmdShowHtmlTags);

        // The root lists the sites and greys the source view.
        window->selectItem(model.root());
        QCOMPARE(window->statusUrlText(), QStringLiteral("Lurvik 1.0"));
        QCOMPARE(window->statusInfoText(), QStringLiteral("3 pages (0 waiting)"));
        QVERIFY(!window->action(CmdHtmlSource)->isEnabled());
        QVERIFY(window->action(CmdDetails)->isChecked());
        QCOMPARE(links.rowCount(), 1);
        QCOMPARE(links.index(0, 0).data().toString(), QStringLiteral("Home"));

        std::vector<Str> history;
        QCOMPARE(app->settings.loadUrlHistory(history), 0);
        QVERIFY(!history.empty());
        QCOMPARE(QString::fromStdString(history.front().str()), url("/index.html"));
    }

    // With rendering on, the links only the browser found are marked in the list and the page's
    // requests are listed with their statuses; a map saved and opened again shows the same.
    void renderedLinksAreMarkedAndKeptInTheMap() {
        if (findBrowser("").empty())
            QSKIP("chromium-headless-shell is not installed: rendering is not tested");
        server->addPage(
            "/script.html",
            "<html><head><title>Script</title></head><body><a href=\"a.html\">Served</a><script>"
            "const a = document.createElement('a'); a.href = 'b.html'; a.textContent = 'Made';"
            " document.body.appendChild(a); fetch('gone.json').catch(() => {});</script></body></html>");
        app->settings.renderPages = 1;
        app->settings.renderTabs = 1;
        QVERIFY(app->applyRendering() == RenderError::None);
        QVERIFY(crawl("/script.html"));
        auto shown = [this] {
            window->selectItem(site());
            const LinkListModel& links = *window->linkModel();
            QStringList rows;
            for (int row = 0; row < links.rowCount(); ++row)
                rows << links.index(row, LinkListModel::ColumnLink).data().toString() + " | " +
                            links.index(row, LinkListModel::ColumnStatus).data().toString();
            rows.sort();
            return rows;
        };
        const QStringList crawled = shown();
        QCOMPARE(crawled, (QStringList{"Made (rendered) | done 200", "Served | done 200",
                                       "gone.json (rendered) | broken 404"}));

        QTemporaryDir dir;
        const QString saved = dir.filePath(QStringLiteral("rendered.web"));
        window->selectItem(window->treeModel()->root());
        answerNext<SaveSiteMapDialog>([&](SaveSiteMapDialog* dialog) {
            dialog->fileEdit()->setText(saved);
            QMetaObject::invokeMethod(dialog,
                                      [dialog] { emit dialog->findChild<QDialogButtonBox*>()->accepted(); });
        });
        window->runCommand(CmdSaveMap);
        // A new start: what the window knows of the statuses comes from the map alone.
        restartApplication();
        window = std::make_unique<MainWindow>(*app);
        window->show();
        QCOMPARE(window->mapFiles().openMap(saved), 0);
        QCOMPARE(shown(), crawled);
    }

    // The right-click menus offer what fits the place clicked, enabled as it fits, and an entry
    // runs its command as the menu bar does.
    void contextMenusFitThePlaceClicked() {
        QVERIFY(crawl("/index.html"));
        SiteTreeModel& model = *window->treeModel();
        SiteTreeView& tree = *window->treeView();
        SiteTreeModel::Item* home = site();
        tree.expand(model.indexOf(home));
        // The entries of the menu `open` shows, "+" before the enabled ones; the one named `run`,
        // if any, is chosen.
        auto entries = [](const std::function<void()>& open, const QString& run = {}) {
            QStringList seen;
            QTimer::singleShot(0, [&seen, run] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu);
                QAction* chosen = nullptr;
                for (QAction* entry : menu->actions()) {
                    if (entry->isSeparator())
                        continue;
                    seen << (entry->isEnabled() ? "+" : "-") + entry->text();
                    if (entry->text() == run)
                        chosen = entry;
                }
                menu->close();
                if (chosen)
                    chosen->trigger();
            });
            open();
            return seen;
        };
        auto treeMenu = [&](SiteTreeModel::Item* item, const QString& run = {}) {
            return entries(
                [&] { emit tree.customContextMenuRequested(tree.visualRect(model.indexOf(item)).center()); },
                run);
        };
        auto text = [](int id) { return QString::fromLatin1(findCommand(id)->menuText); };

        const QStringList onSite = treeMenu(home);
        QVERIFY(onSite.contains("+" + text(CmdRemoveSite)));
        QVERIFY(onSite.contains("+Rel&oad Site"));
        QVERIFY(onSite.contains("-Get Now!"));
        QCOMPARE(window->selectedItem(), home);
        const QStringList onPage = treeMenu(home->children[0]);
        QVERIFY(onPage.contains("-" + text(CmdRemoveSite)));
        QCOMPARE(window->selectedItem(), home->children[0]);

        // The link list: a mail link is sent, not opened in a browser, and is no page to save.
        window->selectItem(home);
        QTreeView& list = *window->linkView();
        LinkListModel& links = *window->linkModel();
        int mail = -1;
        for (int row = 0; row < links.rowCount(); ++row)
            if (links.index(row, 0).data().toString() == QStringLiteral("Mail"))
                mail = row;
        QVERIFY(mail >= 0);
        const QStringList onMail = entries(
            [&] { emit list.customContextMenuRequested(list.visualRect(links.index(mail, 0)).center()); });
        QCOMPARE(onMail.first(), QStringLiteral("+Send &mail to..."));
        QVERIFY(onMail.contains("-&Save link as..."));

        // Remove Site from the site's menu removes it.
        treeMenu(home, text(CmdRemoveSite));
        QVERIFY(QTest::qWaitFor([&model] { return model.root()->children.empty(); }, kCrawlTimeoutMs));
    }

    // More HTML than the old 5 MB cache held: every page's source is still there; a page the cache
    // let go of says so and comes back with Fetch Again.
    void sourceIsShownOrExplained() {
        constexpr int kPages = 60;
        std::string index = "<html><head><title>Many</title></head><body>";
        for (int i = 0; i < kPages; ++i) {
            std::string page = "<html><head><title>Page " + std::to_string(i) + "</title></head><body>";
            for (int line = 0; page.size() < 100000; ++line)
                page += "<p>Line " + std::to_string(line * 7919 % 100003) + " of page " + std::to_string(i) +
                        "</p>\n";
            server->addPage("/many/" + std::to_string(i) + ".html", page + "</body></html>");
            index += "<a href=\"" + std::to_string(i) + ".html\">" + std::to_string(i) + "</a>";
        }
        server->addPage("/many/index.html", index + "</body></html>");
        QVERIFY(crawl("/many/index.html"));
        QCOMPARE(site()->children.size(), size_t(kPages));
        window->runCommand(CmdHtmlSource);
        for (SiteTreeModel::Item* page : site()->children) {
            window->selectItem(page);
            QVERIFY(!window->sourcePane()->noticeShown());
            QVERIFY(window->sourceView()->toPlainText().contains(window->treeModel()->itemText(page)));
        }

        SiteTreeModel::Item* first = site()->children.front();
        CacheConfigMaxSize(100000);
        while (CacheIdle() != 0) {
        }
        window->selectItem(first);
        QVERIFY(window->sourcePane()->noticeShown());
        QVERIFY(window->sourceView()->toPlainText().isEmpty());
        CacheConfigMaxSize(int64_t{256} << 20);
        window->sourcePane()->fetchButton()->click();
        QVERIFY(QTest::qWaitFor([this] { return !window->sourcePane()->noticeShown(); }, kCrawlTimeoutMs));
        QVERIFY(window->sourceView()->toPlainText().contains(QStringLiteral("<title>Page 0</title>")));
        QCOMPARE(server->requestCount("/many/0.html"), size_t(2));

        // A fetch from a server that never answers is given up as soon as the user moves on.
        server->addStalled("/many/1.html");
        SiteTreeModel::Item* second = site()->children[1];
        CacheFreePage(second->node->url);
        window->selectItem(second);
        window->sourcePane()->fetchButton()->click();
        QVERIFY(
            QTest::qWaitFor([this] { return server->requestCount("/many/1.html") == 2; }, kCrawlTimeoutMs));
        QElapsedTimer movingOn;
        movingOn.start();
        window->selectItem(first);
        QVERIFY2(movingOn.elapsed() < 2000, qPrintable(QString::number(movingOn.elapsed())));
    }

    void reloadAndRemoveSites() {
        QVERIFY(crawl("/index.html"));
        QCOMPARE(server->requestCount("/index.html"), size_t(1));

        server->addPage("/b.html", "<html><head><title>Page B2</title></head><body></body></html>");
        window->selectItem(site());
        window->runCommand(CmdReloadSite);
        QVERIFY(waitForEnd());
        QCOMPARE(server->requestCount("/index.html"), size_t(2));
        QCOMPARE(server->requestCount("/b.html"), size_t(2));
        QCOMPARE(childTexts(*window->treeModel(), site()), (QStringList{"Page A", "Page B2"}));
        QCOMPARE(app->engine.doneNodes.len(), 3);

        // A second site, then removing the first leaves the second whole.
        server->addPage("/other.html", "<html><head><title>Other</title></head><body>"
                                       "<a href=\"b.html\">b</a></body></html>");
        QVERIFY(crawl("/other.html"));
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(2));
        window->selectItem(site());
        window->runCommand(CmdRemoveSite);
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(1));
        QCOMPARE(window->treeModel()->itemText(site()), QStringLiteral("Other"));
        QCOMPARE(app->engine.findNode(URL(server->url("/a.html")), true, true), nullptr);
        QCOMPARE(window->selectedItem(), window->treeModel()->root());

        window->runCommand(CmdRemoveAll);
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(0));
        QCOMPARE(app->engine.nodeCount(), 0);
        QVERIFY(!window->action(CmdRemoveAll)->isEnabled());
    }

    // A map whose crawl was stopped half-way is offered to go on; going on retrieves what was
    // left under the page that links to it, and opening it as it is leaves the rest alone.
    void continueAnUnfinishedRetrieval() {
        QTemporaryDir dir;
        const QString map = dir.filePath(QStringLiteral("unfinished.web"));
        server->addPage("/start.html", "<title>Start</title><a href=slow.html>slow</a>");
        server->addSlow("/slow.html",
                        lurvik::test::formatReply({200, "", "text/html", "<title>Slow</title>", "", {}}), 1,
                        std::chrono::milliseconds(200));
        QProcess cli;
        cli.start(QStringLiteral(LURVIK_CLI), {"crawl", url("/start.html"), "--save", map});
        QVERIFY(cli.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(server->requestCount("/slow.html") > 0, 30000);
        ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 130);
        server->addPage("/slow.html", "<title>Slow page</title>");

        QString text;
        answerNext<QMessageBox>([&text](QMessageBox* box) {
            text = box->text();
            for (QAbstractButton* button : box->buttons())
                if (button->text() == QStringLiteral("&Continue retrieval"))
                    button->click();
        });
        QCOMPARE(window->mapFiles().openMap(map), 0);
        QVERIFY(text.contains(QStringLiteral("1 page(s) were still to be retrieved")));
        QVERIFY(waitForEnd());
        const SiteNode* slow = app->engine.findNode(URL(server->url("/slow.html")), true, false);
        QVERIFY(slow);
        QCOMPARE(slow->title.str(), std::string("Slow page"));
        QCOMPARE(childTexts(*window->treeModel(), site()), (QStringList{"Slow page"}));

        window->runCommand(CmdRemoveAll);
        answerNext<QMessageBox>([](QMessageBox* box) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == QStringLiteral("&Open as it is"))
                    button->click();
        });
        QCOMPARE(window->mapFiles().openMap(map), 0);
        QVERIFY(!app->busyLoop->isBusy());
        QCOMPARE(app->engine.findNode(URL(server->url("/slow.html")), true, true), nullptr);
    }

    // The window saves a running retrieval as it goes; a retrieval that ends removes the copy, and
    // one left by a run that never ended is offered at the next start and goes on from it.
    void unfinishedRetrievalIsSavedAndOfferedAgain() {
        app->settings.checkpointSeconds = 1;
        server->addPage("/start.html", "<title>Start</title><a href=slow.html>slow</a>");
        // Two halves, three seconds apart: long enough for a checkpoint to catch the page unfinished.
        const std::string slow =
            lurvik::test::formatReply({200, "", "text/html", "<title>Slow</title>", "", {}});
        server->addSlow("/slow.html", slow, slow.size() / 2 + 1, std::chrono::milliseconds(3000));
        const QString saved = WindowCheckpoints::fileName();
        QVERIFY(!QFileInfo::exists(saved));
        QVERIFY(window->startSite(url("/start.html")));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(saved), 10000);
        QTemporaryDir dir;
        const QString leftOver = dir.filePath(QStringLiteral("left.web"));
        QVERIFY(QFile::copy(saved, leftOver));
        QVERIFY(waitForEnd());
        QVERIFY(!QFileInfo::exists(saved));

        // As a crash leaves it: the start page done, the slow page still to do.
        const CrawlFrontier left = frontierOf(leftOver);
        QCOMPARE(left.pages.size(), size_t(1));
        QCOMPARE(left.pages[0].url, server->url("/slow.html"));
        QCOMPARE(left.arguments, (std::vector<std::string>{server->url("/start.html")}));

        window->runCommand(CmdRemoveAll);
        // The page changed since, and the cache must not answer for it.
        server->addPage("/slow.html", "<title>Slow page</title>");
        QCOMPARE(CacheFreePage(server->url("/slow.html")), 0);
        QVERIFY(QFile::copy(leftOver, saved));
        server->clearLog();
        answerNext<QMessageBox>([this](QMessageBox* box) {
            QCOMPARE(box->objectName(), QStringLiteral("unfinishedRetrieval"));
            answerNext<QMessageBox>([](QMessageBox* next) {
                for (QAbstractButton* button : next->buttons())
                    if (button->text() == QStringLiteral("&Continue retrieval"))
                        button->click();
            });
            for (QAbstractButton* button : box->buttons())
                if (button->text() == QStringLiteral("&Open"))
                    button->click();
        });
        window->mapFiles().offerUnfinishedRetrieval();
        QVERIFY(waitForEnd());
        QCOMPARE(childTexts(*window->treeModel(), site()), (QStringList{"Slow page"}));
        QCOMPARE(server->requestCount("/start.html"), 0u);
        QVERIFY(!QFileInfo::exists(saved));

        // Closed while a retrieval runs, the window saves it at once, long before the interval.
        app->settings.checkpointSeconds = 3600;
        server->addPage("/again.html", "<title>Again</title><a href=slower.html>slower</a>");
        server->addSlow("/slower.html", slow, slow.size() / 2 + 1, std::chrono::milliseconds(3000));
        window->runCommand(CmdRemoveAll);
        QVERIFY(window->startSite(url("/again.html")));
        QTRY_VERIFY_WITH_TIMEOUT(server->requestCount("/slower.html") > 0, 10000);
        window->close();
        const CrawlFrontier closed = frontierOf(saved);
        QCOMPARE(closed.pages.size(), size_t(1));
        QCOMPARE(closed.pages[0].url, server->url("/slower.html"));
        restartApplication();
        window = std::make_unique<MainWindow>(*app);
        window->show();
        QFile::remove(saved);

        // Discarded, it is gone and nothing opens.
        QVERIFY(QFile::copy(leftOver, saved));
        window->runCommand(CmdRemoveAll);
        answerNext<QMessageBox>([](QMessageBox* box) {
            for (QAbstractButton* button : box->buttons())
                if (button->text() == QStringLiteral("&Discard"))
                    button->click();
        });
        window->mapFiles().offerUnfinishedRetrieval();
        QVERIFY(!QFileInfo::exists(saved));
        QVERIFY(!site());
    }

    // A scheduled entry set to compare keeps its site's map; the next one is compared with it (the
    // server asked again, whatever the cache holds), and the changes are said and kept as a page.
    void scheduledRetrievalComparesWithThePreviousOne() {
        ScheduledSites& sites = app->scheduledSites;
        std::time_t clock = std::time(nullptr);
        sites.now = [&clock] { return clock; };
        answerNext<SchedulerDialog>([this](SchedulerDialog* dialog) {
            answerNext<ScheduleEditDialog>([this](ScheduleEditDialog* edit) {
                edit->siteEdit()->setText(url("/index.html"));
                edit->hourEdit()->setText(QStringLiteral("1"));
                edit->minuteEdit()->setText(QStringLiteral("0"));
                edit->compareBox()->setChecked(true);
                edit->accept();
            });
            dialog->editSelected();
            dialog->accept();
        });
        window->runCommand(CmdScheduler);
        QCOMPARE(sites.entries.size(), size_t(1));
        QVERIFY(sites.entries[0].compare);
        const ScheduledSite entry = sites.entries[0];
        auto runScheduled = [&]() -> QString {
            sites.entries = {entry};
            clock = entry.dueTime + 1;
            if (!window->schedule().checkSchedule() || !waitForEnd())
                return QStringLiteral("did not run");
            auto* box = window->findChild<QMessageBox*>(QStringLiteral("scheduledComparison"));
            const QString text = box ? box->text() : QStringLiteral("nothing said");
            delete box;
            window->runCommand(CmdRemoveAll);
            return text;
        };
        QVERIFY2(runScheduled().contains(QStringLiteral("for the first time")), "the first is kept");

        server->addPage("/a.html", lurvik::test::statusPage(404));
        server->addPage("/b.html", "<title>Page B, renamed</title>");
        const QString said = runScheduled();
        QVERIFY2(said.contains(QStringLiteral(" change(s), 1 newly broken")), qPrintable(said));
        QDir folder(SiteMonitor::folder());
        const QStringList pages = folder.entryList({QStringLiteral("*.html")});
        QCOMPARE(pages.size(), 1);
        QFile page(folder.filePath(pages[0]));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        QVERIFY(html.contains(QString::fromStdString(server->url("/a.html"))));
        QVERIFY(html.contains(QStringLiteral("Page B, renamed")));
        QCOMPARE(folder.entryList({QStringLiteral("*.web")}).size(), 1);
        QCOMPARE(app->engine.verifyCache, 0);
    }

    // File > Compare with Map...: the changes from an earlier crawl to the site on screen, in a
    // list the filter narrows, saved as CSV and as a web page.
    void compareWithAnEarlierMap() {
        QTemporaryDir dir;
        const QString older = dir.filePath(QStringLiteral("older.web"));
        server->addPage("/index.html", std::string(kIndex) + "<a href=\"gone.html\">Gone</a>");
        server->addPage("/gone.html", "<title>Gone soon</title>");
        server->addPage("/a.html", "<html><head><title>Old A</title></head><body></body></html>");
        QProcess cli;
        cli.start(QStringLiteral(LURVIK_CLI), {"crawl", url("/index.html"), "--save", older});
        QVERIFY(cli.waitForFinished(60000));
        QCOMPARE(cli.exitCode(), 0);
        server->addPage("/index.html", kIndex);
        server->addPage("/a.html", kPageA);
        QVERIFY(crawl("/index.html"));

        CompareMapsWindow* compared = window->mapFiles().compareWithMap(older);
        QVERIFY(compared);
        QStringList kinds;
        for (const MapChange& change : compared->changes())
            kinds << QString::fromLatin1(changeName(change.kind)) + " " + QString::fromStdString(change.url);
        // By address; the old a.html linked nowhere.
        QCOMPARE(kinds, (QStringList{"title " + url("/a.html"), "links " + url("/a.html"),
                                     "removed " + url("/gone.html"), "links " + url("/index.html")}));
        QCOMPARE(compared->shownRows(), 4);
        compared->filterKind()->setCurrentText(QStringLiteral("title"));
        QCOMPARE(compared->shownRows(), 1);
        compared->filterKind()->setCurrentIndex(0);
        compared->filterText()->setText(QStringLiteral("gone"));
        QCOMPARE(compared->shownRows(), 1);

        const QString csv = dir.filePath(QStringLiteral("changes.csv"));
        QCOMPARE(compared->saveTo(csv), 0);
        QFile csvFile(csv);
        QVERIFY(csvFile.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(csvFile.readAll()), "Change,Address,Before,After,Detail\r\nremoved," +
                                                           url("/gone.html") + ",done 200 ok,,Gone soon\r\n");
        const QString html = dir.filePath(QStringLiteral("changes.html"));
        QCOMPARE(compared->saveTo(html), 0);
        QFile htmlFile(html);
        QVERIFY(htmlFile.open(QIODevice::ReadOnly));
        QVERIFY(htmlFile.readAll().startsWith("<!DOCTYPE html>"));

        QString caption, text;
        recordNextMessageBox(caption, text);
        QCOMPARE(window->mapFiles().compareWithMap(dir.filePath(QStringLiteral("missing.web"))), nullptr);
        QVERIFY(text.startsWith(QStringLiteral("Cannot open")));
    }

    void saveAndOpenSiteMaps() {
        QTemporaryDir dir;
        QVERIFY(crawl("/index.html"));
        window->selectItem(window->treeModel()->root());
        QString typed = dir.filePath(QStringLiteral("site"));
        int result = -1;
        answerNext<SaveSiteMapDialog>([&](SaveSiteMapDialog* dialog) {
            QCOMPARE(dialog->descriptionEdit()->text(), QStringLiteral("Lurvik Site map"));
            dialog->fileEdit()->setText(typed);
            dialog->includeHtmlBox()->setChecked(true);
            QMetaObject::invokeMethod(dialog, [dialog, &result] {
                emit dialog->findChild<QDialogButtonBox*>()->accepted();
                result = dialog->lastResult();
            });
        });
        window->runCommand(CmdSaveMap);
        QCOMPARE(result, 0);
        QString saved = typed + QStringLiteral(".web");
        QVERIFY(QFile::exists(saved));

        window->runCommand(CmdRemoveAll);
        CacheClear();
        QCOMPARE(window->mapFiles().openMap(saved), 0);
        SiteTreeModel& model = *window->treeModel();
        QCOMPARE(model.root()->children.size(), size_t(1));
        QCOMPARE(model.itemText(site()), QStringLiteral("Home"));
        QCOMPARE(childTexts(model, site()), (QStringList{"Page A", "Page B"}));
        // A page joins its parents as it arrives from the file, so the order may differ from the crawl's.
        QStringList underA = childTexts(model, site()->children[0]);
        underA.sort();
        QCOMPARE(underA, (QStringList{"Home", "Page B"}));
        window->selectItem(site());
        QCOMPARE(window->linkModel()->rowCount(), 4);
        window->runCommand(CmdHtmlSource);
        QVERIFY(window->sourceView()->toPlainText().contains(QStringLiteral("<title>Home</title>")));
        window->runCommand(CmdDetails);

        QString caption, text;
        recordNextMessageBox(caption, text);
        QCOMPARE(window->mapFiles().openMap(saved), 4005);
        QCOMPARE(caption, QStringLiteral("Lurvik Error"));
        QCOMPARE(text, QStringLiteral("Map Already Loaded"));

        // Damaged and missing files are each reported with their own reason, and change nothing.
        QString damaged = dir.filePath(QStringLiteral("bad.web"));
        QVERIFY(writeFile(damaged, "LURVKMAP1.0 and then nonsense"));
        QStringList reasons;
        for (const QString& name : {damaged, dir.filePath(QStringLiteral("missing.web"))}) {
            text.clear();
            recordNextMessageBox(caption, text);
            QCOMPARE(window->mapFiles().openMap(name), 1);
            QCOMPARE(caption, QStringLiteral("Lurvik Error"));
            const QString opening = QStringLiteral("Cannot open %1: ").arg(QDir::toNativeSeparators(name));
            QVERIFY2(text.startsWith(opening) && text.size() > opening.size(), qPrintable(text));
            reasons << text.mid(opening.size());
        }
        QVERIFY2(reasons[0] != reasons[1], qPrintable(reasons.join('|')));
        QCOMPARE(model.root()->children.size(), size_t(1));
        QCOMPARE(QApplication::activeModalWidget(), nullptr);

        // Saving while a page is pending is refused with its message.
        server->addStalled("/stall.html");
        QVERIFY(window->startSite(url("/stall.html")));
        window->selectItem(model.root());
        caption.clear();
        answerNext<SaveSiteMapDialog>([&](SaveSiteMapDialog* dialog) {
            dialog->fileEdit()->setText(dir.filePath(QStringLiteral("busy.web")));
            QMetaObject::invokeMethod(dialog, [&, dialog] {
                recordNextMessageBox(caption, text);
                emit dialog->findChild<QDialogButtonBox*>()->accepted();
            });
        });
        window->runCommand(CmdSaveMap);
        QCOMPARE(caption, QStringLiteral("Lurvik Error"));
        QCOMPARE(text, QStringLiteral("Cannot Save Map while link is active."));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("busy.web"))));
    }

    // Save As writes the tree the window shows as a web page: the command line writes the same
    // file from the saved map, and a branch gives a one-entry list.
    void saveTreeAsWebPage() {
        QTemporaryDir dir;
        QVERIFY(crawl("/index.html"));
        QString whole = dir.filePath(QStringLiteral("whole.htm"));
        QCOMPARE(window->mapFiles().exportTree(whole, window->treeModel()->root()), 0);
        SiteMapFile map;
        map.fileName = dir.filePath(QStringLiteral("site.web")).toStdString();
        QCOMPARE(map.save(app->engine, nullptr, false), 0);
        QString fromCli = dir.filePath(QStringLiteral("cli.htm"));
        outputOf(QStringLiteral(LURVIK_CLI),
                 {"export", QString::fromStdString(map.fileName.str()), "--html", fromCli});
        const QByteArray written = fileBytes(whole);
        QCOMPARE(written, fileBytes(fromCli));
        QVERIFY(written.contains(
            QByteArray::fromStdString("\r\n <LI><A HREF=" + server->url("/index.html") + ">Home</A>\r\n")));

        QString branch = dir.filePath(QStringLiteral("branch.htm"));
        QCOMPARE(window->mapFiles().exportTree(branch, site()->children[1]), 0);
        QFile part(branch);
        QVERIFY(part.open(QIODevice::ReadOnly));
        QCOMPARE(part.readAll().split('\n').mid(2).join('\n'),
                 QByteArray::fromStdString("<UL>\r\n <LI><A HREF=" + server->url("/b.html") +
                                           ">Page B</A>\r\n</UL>\r\n</BODY></HTML>\r\n"));

        QString caption, text;
        recordNextMessageBox(caption, text);
        QCOMPARE(window->mapFiles().exportTree(dir.filePath(QStringLiteral("none/x.htm")),
                                               window->treeModel()->root()),
                 1);
        QCOMPARE(caption, QStringLiteral("Lurvik Error"));
        QVERIFY(!text.isEmpty());
    }

    // Properties: the statistics agree with the command line's link report of the same site, and
    // the HTTP Header page shows the bytes the server sent, also from a reopened map.
    void propertiesOfAPageAndOfTheTree() {
        QVERIFY(crawl("/index.html"));
        QTemporaryDir dir;
        QString report = dir.filePath(QStringLiteral("links.tsv"));
        outputOf(QStringLiteral(LURVIK_CLI), {"crawl", url("/index.html"), "--links-report", report});
        QMap<QString, int> expected;
        for (const QByteArray& line : fileBytes(report).split('\n')) {
            QList<QByteArray> fields = line.split('\t');
            if (fields.size() < 3 || fields[0] != QByteArray::fromStdString(server->url("/index.html")))
                continue;
            expected[QStringLiteral("Total Number of Links")]++;
            QMap<QByteArray, QString> kinds{{"image", "Number of Inline Images"},
                                            {"mail", "Number of Mail Links"},
                                            {"http", "Number of HTTP Links"}};
            if (kinds.contains(fields[1]))
                expected[kinds[fields[1]]]++;
            // File types are counted for the links whose address names a file; mail has no type.
            if (fields[1] == "http" || fields[1] == "image")
                expected[QStringLiteral("Number of %1(s)").arg(QString::fromUtf8(fields[2]))]++;
        }
        QCOMPARE(expected.value(QStringLiteral("Total Number of Links")), 4);

        auto inspect = [&](SiteTreeModel::Item* subject, QMap<QString, QString>& rows, QString& header) {
            window->selectItem(subject);
            answerNext<PropertiesSheet>([&](PropertiesSheet* sheet) {
                QCOMPARE(sheet->windowTitle(), QStringLiteral("Properties"));
                for (int i = 0; i < sheet->statistics()->topLevelItemCount(); ++i)
                    rows[sheet->statistics()->topLevelItem(i)->text(0)] =
                        sheet->statistics()->topLevelItem(i)->text(1);
                sheet->tabs()->setCurrentIndex(1);
                header = sheet->headerText()->toPlainText();
                sheet->accept();
            });
            window->runCommand(CmdProperties);
        };
        QMap<QString, QString> rows;
        QString header;
        inspect(site(), rows, header);
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(rows.value(it.key()), QString::number(it.value()));
        QCOMPARE(rows.value(QStringLiteral("Page Size in Bytes")), QString::number(site()->node->size));
        lurvik::test::Page sent;
        sent.body = kIndex;
        std::string reply = lurvik::test::formatReply(sent);
        // The server answers an HTTP/1.1 request in kind, with the fixture's header lines, and says
        // it keeps the connection.
        const size_t headEnd = reply.find("\r\n\r\n") + 2;
        std::string sentHeader = "HTTP/1.1" + reply.substr(8, headEnd - 8) + "Connection: keep-alive\r\n\r\n";
        QCOMPARE(site()->node->replyHeader.str(), sentHeader);
        QCOMPARE(header.trimmed(), QString::fromStdString(sentHeader).remove(QLatin1Char('\r')).trimmed());

        QMap<QString, QString> treeRows;
        QString treeHeader;
        inspect(window->treeModel()->root(), treeRows, treeHeader);
        QCOMPARE(treeRows, (QMap<QString, QString>{{"Number of sites lurviked", "1"}}));
        QCOMPARE(treeHeader, QStringLiteral("No Header Information Available."));

        SiteMapFile map;
        map.fileName = dir.filePath(QStringLiteral("site.web")).toStdString();
        QCOMPARE(map.save(app->engine, nullptr, false), 0);
        window->runCommand(CmdRemoveAll);
        QCOMPARE(window->mapFiles().openMap(QString::fromStdString(map.fileName.str())), 0);
        QCOMPARE(site()->node->replyHeader.str(), sentHeader);
    }

    // Each "Print what" choice printed to a PDF file: pdftotext finds the header, the subtitle and
    // the entries, a long tree takes several pages, and a cancelled job leaves no file.
    void printingToPdf() {
        std::string many = "<title>Many</title>";
        for (int i = 0; i < 150; ++i) {
            many += "<a href=p" + std::to_string(i) + ".html>P" + std::to_string(i) + "</a>";
            server->addPage("/p" + std::to_string(i) + ".html",
                            "<title>Numbered " + std::to_string(i) + "</title>");
        }
        server->addPage("/many.html", many);
        QVERIFY(crawl("/many.html"));
        QTemporaryDir dir;
        auto printed = [&](int what, bool urls, const QString& name, int* pages = nullptr) {
            PrintJob* job = window->printer().startPrint(what, urls, pdfPrinter(dir.filePath(name)),
                                                         window->selectedItem());
            if (!job)
                return QString();
            bool done = false;
            int count = 0;
            connect(job, &PrintJob::finished, [&done, &count, job](bool) {
                done = true;
                count = job->pageCount();
            });
            if (!QTest::qWaitFor([&done] { return done; }, 30000))
                return QString();
            if (pages)
                *pages = count;
            return outputOf(QStringLiteral("pdftotext"), {"-layout", dir.filePath(name), "-"});
        };

        int pages = 0;
        QString tree = printed(PrintEntireTree, true, QStringLiteral("tree.pdf"), &pages);
        QVERIFY(pages >= 2);
        QCOMPARE(tree.count(QLatin1Char('\f')), pages);
        QVERIFY(tree.contains(QStringLiteral("Lurvik Web Tree")));
        QVERIFY(tree.contains(QStringLiteral("Page 1 of %1").arg(pages)));
        QVERIFY(tree.contains(QStringLiteral("Page %1 of %1").arg(pages)));
        QVERIFY(tree.contains(QStringLiteral("Full Site Explorer Map")));
        // pdftotext spaces out a title and its address as the page lays them out.
        QVERIFY(tree.contains(QRegularExpression(QStringLiteral("Numbered 149\\s+\\(") +
                                                 QRegularExpression::escape(url("/p149.html")))));

        window->selectItem(site());
        QString contents = printed(PrintPageContents, false, QStringLiteral("contents.pdf"));
        QVERIFY(contents.contains(QStringLiteral("Lurvik Link Summary")));
        QVERIFY(contents.contains(QStringLiteral("Many [") + url("/many.html") + "]"));
        QVERIFY(contents.contains(QStringLiteral("P149")));
        window->selectItem(site()->children[3]);
        QString source = printed(PrintPageSource, false, QStringLiteral("source.pdf"));
        QVERIFY(source.contains(QStringLiteral("Lurvik HTML Source")));
        QVERIFY(source.contains(QStringLiteral("<title>Numbered 3</title>")));

        PrintJob* job = window->printer().startPrint(
            PrintEntireTree, false, pdfPrinter(dir.filePath(QStringLiteral("cancelled.pdf"))),
            window->selectedItem());
        QVERIFY(job && job->printingBox());
        QVERIFY(!window->isEnabled());
        bool completed = true;
        connect(job, &PrintJob::finished, [&completed](bool ok) { completed = ok; });
        job->printingBox()->findChild<QPushButton*>()->click();
        QVERIFY(!completed);
        QVERIFY(window->isEnabled());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("cancelled.pdf"))));

        PrintWhatPanel choices(false);
        QVERIFY(!choices.includeUrlsBox()->isEnabled());
        choices.whatBox()->setCurrentIndex(PrintEntireTree);
        QVERIFY(choices.includeUrlsBox()->isEnabled());
        PrintWhatPanel findChoices(true);
        QCOMPARE(findChoices.whatBox()->count(), 1);
        QCOMPARE(findChoices.whatBox()->itemText(0), QStringLiteral("Find Results"));
    }

    // File > Import WARC builds the tree from an archive, pages it lacks marked as failed.
    void importWarcArchive() {
        QTemporaryDir dir;
        auto record = [](const std::string& uri, const std::string& reply) {
            return "WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
                   "\r\nContent-Type: application/http; msgtype=response\r\nContent-Length: " +
                   std::to_string(reply.size()) + "\r\n\r\n" + reply + "\r\n\r\n";
        };
        const QString archive = dir.filePath(QStringLiteral("site.warc"));
        QVERIFY(writeFile(
            archive, QByteArray::fromStdString(
                         record("http://archive.example/",
                                "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<title>Archived</title>"
                                "<a href=a.html>A</a><a href=lost.html>L</a>") +
                         record("http://archive.example/a.html",
                                "HTTP/1.1 200 OK\r\n\r\n<title>From the archive</title>"))));
        QCOMPARE(window->mapFiles().importWarc({archive}), 0);
        QVERIFY(site());
        QCOMPARE(window->treeModel()->itemText(site()), QStringLiteral("Archived"));
        QStringList children = childTexts(*window->treeModel(), site());
        QCOMPARE(children, (QStringList{"From the archive", "http://archive.example/lost.html"}));
        QCOMPARE(site()->children[1]->node->title.str(), std::string("Error - Not in the archive"));
        window->selectItem(site()->children[0]);
        window->runCommand(CmdHtmlSource);
        QVERIFY(window->sourceView()->toPlainText().contains(QStringLiteral("From the archive")));
    }

    // The scheduler: times typed on a 12-hour clock, one due site started per tick and only when
    // no retrieval runs, the dialogs' rules.
    void scheduledRetrievals() {
        std::tm today{};
        std::time_t real = std::time(nullptr);
        localtime_r(&real, &today);
        today.tm_hour = 15;
        today.tm_min = 0;
        today.tm_sec = 0;
        today.tm_isdst = -1;
        std::time_t threePm = std::mktime(&today);
        auto hourAndMinute = [](std::time_t moment) {
            std::tm local{};
            localtime_r(&moment, &local);
            return std::pair{local.tm_hour, local.tm_min};
        };
        QCOMPARE(hourAndMinute(dueMoment(12, 0, false, threePm)), (std::pair{0, 0}));
        QCOMPARE(hourAndMinute(dueMoment(12, 30, true, threePm)), (std::pair{12, 30}));
        QCOMPARE(hourAndMinute(dueMoment(1, 5, true, threePm)), (std::pair{13, 5}));
        QVERIFY2(dueMoment(1, 5, true, threePm) > threePm, "an earlier time is tomorrow's");
        QCOMPARE(dueMoment(4, 0, true, threePm) - threePm, std::time_t(3600));
        QCOMPARE(clockText(dueMoment(12, 5, false, threePm)), std::string("12:05 AM"));

        ScheduledSites& sites = app->scheduledSites;
        std::time_t clock = threePm;
        sites.now = [&clock] { return clock; };
        sites.entries = {{URL(server->url("/index.html")), static_cast<int32_t>(threePm + 60)},
                         {URL(server->url("/b.html")), static_cast<int32_t>(threePm + 60)}};
        QVERIFY2(!window->schedule().checkSchedule(), "nothing is due yet");
        clock += 90;
        QVERIFY(window->schedule().checkSchedule());
        QCOMPARE(sites.entries.size(), size_t(1));
        QVERIFY2(!window->schedule().checkSchedule(), "the first retrieval is still running");
        QVERIFY(waitForEnd());
        QVERIFY(window->schedule().checkSchedule());
        QVERIFY(waitForEnd());
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(2));

        sites.entries = {{URL("http://first.example/"), static_cast<int32_t>(threePm)},
                         {URL("http://second.example/"), static_cast<int32_t>(threePm)}};
        answerNext<SchedulerDialog>([](SchedulerDialog* dialog) {
            QVERIFY(!dialog->removeButton()->isEnabled());
            QCOMPARE(dialog->list()->topLevelItem(0)->text(0), QStringLiteral("http://second.example/"));
            QCOMPARE(dialog->list()->topLevelItem(0)->text(1), QStringLiteral("3:00 PM"));
            dialog->accept();
        });
        window->runCommand(CmdScheduler);
        QCOMPARE(sites.entries.front().url.text(),
                 std::string("http://second.example/")); // OK reverses the order

        answerNext<SchedulerDialog>([](SchedulerDialog* dialog) {
            dialog->list()->setCurrentItem(dialog->list()->topLevelItem(0));
            dialog->removeSelected();
            dialog->reject();
        });
        window->runCommand(CmdScheduler);
        QCOMPARE(sites.entries.size(), size_t(2)); // Cancel changes nothing

        ScheduleEditDialog edit(QString(), 0, false, nullptr);
        QCOMPARE(edit.windowTitle(), QStringLiteral("Add Scheduled Site"));
        QVERIFY(!edit.okButton()->isEnabled());
        QTest::keyClicks(edit.hourEdit(), QStringLiteral("13"));
        QCOMPARE(edit.hourEdit()->text(), QStringLiteral("1"));
        QTest::keyClicks(edit.hourEdit(), QStringLiteral("2"));
        QCOMPARE(edit.hourEdit()->text(), QStringLiteral("12"));
        QTest::keyClicks(edit.minuteEdit(), QStringLiteral("75"));
        QCOMPARE(edit.minuteEdit()->text(), QStringLiteral("7"));
        QTest::keyClick(edit.minuteEdit(), Qt::Key_Backspace);
        QTest::keyClicks(edit.minuteEdit(), QStringLiteral("59x"));
        QCOMPARE(edit.minuteEdit()->text(), QStringLiteral("59"));
        edit.siteEdit()->setText(QStringLiteral("example.com"));
        QVERIFY(edit.okButton()->isEnabled());
        QCOMPARE(hourAndMinute(edit.dueTime(threePm)), (std::pair{0, 59}));
    }

    // Save link as: the body and nothing else lands in the file; a 404 and a cancel leave no file.
    void downloadsSaveTheBodyOrNothing() {
        std::string body;
        for (int i = 0; i < 300000; ++i)
            body += static_cast<char>('a' + i % 26);
        lurvik::test::Page file;
        file.contentType = "application/octet-stream";
        file.body = body;
        server->addPage("/big.bin", file);
        server->addSlow("/slow.bin", lurvik::test::formatReply(file), 1000, std::chrono::milliseconds(20));
        QTemporaryDir dir;
        bool progressNamed = false;
        auto run = [&](const char* path, const QString& name, bool cancel) {
            DownloadWindow* window =
                this->window->downloads().startDownload(URL(server->url(path)), dir.filePath(name));
            if (!window)
                return -1;
            int outcome = -1;
            connect(window, &DownloadWindow::finished, [&outcome](bool ok) { outcome = ok ? 1 : 0; });
            if (cancel) {
                // A cancel before any bytes came would not show that one mid-way leaves no file.
                if (!QTest::qWaitFor([window] { return window->download().written() > 2000; }, 10000))
                    return -1;
                progressNamed = window->progressText().startsWith(QStringLiteral("slow.bin ("));
                window->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
            }
            return QTest::qWaitFor([&outcome] { return outcome >= 0; }, 30000) ? outcome : -1;
        };
        QCOMPARE(run("/big.bin", QStringLiteral("big.bin"), false), 1);
        QCOMPARE(fileBytes(dir.filePath(QStringLiteral("big.bin"))), QByteArray::fromStdString(body));
        QCOMPARE(run("/none.bin", QStringLiteral("none.bin"), false), 0);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none.bin"))));
        server->addTruncated("/cut.bin", body.substr(0, 1000), body.size());
        QCOMPARE(run("/cut.bin", QStringLiteral("cut.bin"), false), 0);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("cut.bin"))));
        QCOMPARE(run("/slow.bin", QStringLiteral("slow.bin"), true), 0);
        QVERIFY(progressNamed);

        // Two downloads beside a retrieval: all three finish, each file whole.
        QVERIFY(window->startSite(url("/index.html")));
        int finished = 0;
        for (const char* name : {"one.bin", "two.bin"}) {
            DownloadWindow* download =
                window->downloads().startDownload(URL(server->url("/big.bin")), dir.filePath(name));
            QVERIFY(download);
            connect(download, &DownloadWindow::finished, [&finished](bool ok) { finished += ok ? 1 : 0; });
        }
        QVERIFY(waitForEnd());
        QVERIFY(QTest::qWaitFor([&finished] { return finished == 2; }, 30000));
        for (const char* name : {"one.bin", "two.bin"}) {
            QCOMPARE(QFileInfo(dir.filePath(name)).size(), qint64(body.size()));
            QFile::remove(dir.filePath(name));
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.bin"});

        // 200 MB go to disk as they come: the bar reaches 100 %, the file's SHA-256 is the body's,
        // and the peak of memory rises by far less than the body.
        constexpr qint64 kHuge = qint64(200) << 20;
        server->addStream("/huge.bin", kHuge);
        const lurvik::test::PeakMemory peak;
        QVERIFY(peak.isMeasured());
        DownloadWindow* huge =
            window->downloads().startDownload(URL(server->url("/huge.bin")), dir.filePath("huge.bin"));
        QVERIFY(huge);
        int hugeOutcome = -1;
        int barAtEnd = -1;
        connect(huge, &DownloadWindow::finished, [&hugeOutcome, &barAtEnd, huge](bool ok) {
            hugeOutcome = ok ? 1 : 0;
            barAtEnd = huge->findChild<QProgressBar*>()->value();
        });
        QVERIFY(QTest::qWaitFor([&hugeOutcome] { return hugeOutcome >= 0; }, 120000));
        const long grewKb = peak.grownKb();
        QCOMPARE(hugeOutcome, 1);
        QCOMPARE(barAtEnd, 100);
        QVERIFY2(grewKb < 64 * 1024, qPrintable(QStringLiteral("%1 KB more").arg(grewKb)));
        QCryptographicHash sent(QCryptographicHash::Sha256);
        std::string piece(1 << 20, '\0');
        for (qint64 offset = 0; offset < kHuge; offset += piece.size()) {
            TestServer::streamBody(offset, piece.data(), piece.size());
            sent.addData(QByteArrayView(piece.data(), qsizetype(piece.size())));
        }
        QFile received(dir.filePath("huge.bin"));
        QVERIFY(received.open(QIODevice::ReadOnly));
        QCOMPARE(received.size(), kHuge);
        QCryptographicHash got(QCryptographicHash::Sha256);
        QVERIFY(got.addData(&received));
        QCOMPARE(got.result().toHex(), sent.result().toHex());
        received.remove();
    }

    // Options: every setting of the General, Network, Cache, Advanced and Browser pages goes from
    // the sheet to the stored settings (a fresh load, and lurvik-cli's current values) and into the
    // running engine, agents and cache; a lower cache size shrinks the file at once; Help opens the
    // page's topic; the sheet reopens where it was left.
    void optionsRoundTripAndTakeEffect() {
        // Pages that do not compress, so that the cache's file holds about what they weigh.
        const QString cacheDir = lurvik::fromStr(app->settings.cacheDir);
        auto cacheBytes = [&cacheDir] {
            qint64 total = 0;
            for (const QFileInfo& file : QDir(cacheDir).entryInfoList(QDir::Files))
                total += file.size();
            return total;
        };
        std::string noise(1 << 20, '\0');
        for (int page = 0; page < 40; ++page) {
            TestServer::streamBody(static_cast<std::uint64_t>(page) << 20, noise.data(), noise.size());
            QCOMPARE(CacheSavePage("http://cache.test/" + std::to_string(page), Str("today"), Str(noise)), 0);
        }
        QVERIFY2(cacheBytes() > (35 << 20), qPrintable(QString::number(cacheBytes())));
        QTemporaryDir otherCache;

        QString helpFragment;
        withOptions([&](OptionsSheet* sheet) {
            QCOMPARE(sheet->windowTitle(), QStringLiteral("Options"));
            QVERIFY(!sheet->applyButton()->isEnabled());
            sheet->tabs()->setCurrentIndex(0);
            sheet->check("autoExpand")->setChecked(true);
            QVERIFY(sheet->applyButton()->isEnabled());
            sheet->check("dupChildren")->setChecked(true);
            sheet->check("autoLaunch")->setChecked(false);
            sheet->check("doneBeep")->setChecked(false);
            sheet->tabs()->setCurrentIndex(1);
            sheet->spin("foreground")->setValue(3);
            sheet->spin("background")->setValue(2);
            sheet->limitBox()->setCurrentIndex(2);
            sheet->check("limitLevels")->setChecked(true);
            sheet->spin("numLevels")->setValue(4);
            sheet->check("limitPages")->setChecked(true);
            sheet->spin("numPages")->setValue(1234);
            sheet->applyButton()->click();
            QVERIFY(!sheet->applyButton()->isEnabled());
            sheet->tabs()->setCurrentIndex(2);
            sheet->cacheSlider()->setValue(16);
            QVERIFY2(!sheet->applyButton()->isEnabled(), "the slider alone marks nothing changed");
            QCOMPARE(sheet->cacheLabel()->text(), QStringLiteral("16 MBs"));
            sheet->check("persistentCache")->setChecked(false);
            sheet->check("smartCache")->setChecked(true);
            sheet->cacheDir()->setText(otherCache.path());
            sheet->helpButton()->click();
            QVERIFY(HelpWindow::instance());
            helpFragment = HelpWindow::instance()->browser()->source().fragment();
            HelpWindow::instance()->close();
            sheet->tabs()->setCurrentIndex(3);
            sheet->check("useProxy")->setChecked(true);
            // The proxy is looked up as soon as it is set: a name the hosts file answers keeps the test
            // off any name server.
            sheet->proxyServer()->setText(QStringLiteral("HTTP://localhost"));
            sheet->spin("proxyPort")->setValue(3128);
            sheet->check("useUserPass")->setChecked(false);
            sheet->userAgent()->setText(QStringLiteral("Auditor/2.0"));
            sheet->check("obeySRE")->setChecked(true);
            sheet->check("classicHttp")->setChecked(true);
            sheet->spin("hostConnections")->setValue(3);
            sheet->spin("hostDelay")->setValue(250);
            sheet->spin("retryWait")->setValue(30);
            sheet->spin("pageTimeLimit")->setValue(45);
            sheet->caFile()->setText(QStringLiteral("/etc/ssl/extra.pem"));
            sheet->tabs()->setCurrentIndex(5);
            sheet->findChild<QTreeWidget*>()->topLevelItem(0)->setText(1, QStringLiteral("/usr/bin/browser"));
            sheet->tabs()->setCurrentIndex(3);
            sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(helpFragment, QStringLiteral("cache"));
        QVERIFY2(cacheBytes() < (17 << 20), qPrintable(QString::number(cacheBytes())));
        QCOMPARE(app->pool.numBackground, 2);
        QCOMPARE(app->pool.numForeground, 3);
        QCOMPARE(app->pool.userAgent, Str("Auditor/2.0"));
        QCOMPARE(app->engine.maxPages, 1234);
        QCOMPARE(app->engine.maxLevels, 4);
        QCOMPARE(app->engine.limitMode, 2);

        Settings stored;
        stored.loadSettings();
        const std::vector<std::pair<int, int>> numbers = {
            {stored.autoExpand, 1},      {stored.dupChildren, 1},   {stored.autoLaunch, 0},
            {stored.doneBeep, 0},        {stored.numFGAgents, 3},   {stored.numBGAgents, 2},
            {stored.numDomains, 2},      {stored.limitLevels, 1},   {stored.numLevels, 4},
            {stored.limitPages, 1},      {stored.numPages, 1234},   {stored.cacheSize, 16},
            {stored.persistentCache, 0}, {stored.smartCache, 1},    {stored.useProxy, 1},
            {stored.proxyPort, 3128},    {stored.useUserPass, 0},   {stored.useUserAgent, 1},
            {stored.obeySRE, 1},         {stored.classicHttp, 1},   {stored.maxHostConnections, 3},
            {stored.hostDelay, 250},     {stored.maxRetryWait, 30}, {stored.pageTimeLimit, 45}};
        for (size_t i = 0; i < numbers.size(); ++i)
            QVERIFY2(numbers[i].first == numbers[i].second, qPrintable(QStringLiteral("setting %1").arg(i)));
        QCOMPARE(stored.proxyServer, Str("localhost"));
        QCOMPARE(stored.userAgent, Str("Auditor/2.0"));
        QCOMPARE(stored.caFile, Str("/etc/ssl/extra.pem"));
        QCOMPARE(stored.defaultWebBrowser, Str("/usr/bin/browser"));
        QCOMPARE(lurvik::fromStr(stored.cacheDir), otherCache.path() + QLatin1Char('/'));

        // The command line starts from the same store, and says so in its help.
        const QString help =
            outputOf(QStringLiteral(LURVIK_CLI), {QStringLiteral("crawl"), QStringLiteral("--help")});
        for (const QString& expected :
             {QStringLiteral("(now: path)"), QStringLiteral("no limit (now: 4)"),
              QStringLiteral("no limit (now: 1234)"), QStringLiteral("fetched at once (now: 2)"),
              QStringLiteral("foreground agents (now: 3)"), QStringLiteral("(now: localhost:3128)"),
              QStringLiteral("(now: on \"Auditor/2.0\")"), QStringLiteral("never send credentials (now: on)"),
              QStringLiteral("now: ") + otherCache.path() + "/)",
              QStringLiteral("cache size (implies --cache; now: 16)"),
              QStringLiteral("between runs (now: off)"), QStringLiteral("If-Modified-Since (now: on)"),
              QStringLiteral("(now: classic)"), QStringLiteral("to one host (now: 3)"),
              QStringLiteral("to one host (now: 250)"), QStringLiteral("in all (now: 30)"),
              QStringLiteral("no limit (now: 45)"), QStringLiteral("(now: /etc/ssl/extra.pem)"),
              QStringLiteral("robots.txt (now: on)")})
            QVERIFY2(help.contains(expected), qPrintable(expected + QStringLiteral(" not in\n") + help));

        int reopenedOn = -1;
        withOptions([&reopenedOn](OptionsSheet* sheet) {
            reopenedOn = sheet->tabs()->currentIndex();
            sheet->reject();
        });
        QCOMPARE(reopenedOn, 3);
    }

    // A new background agent count from the Options sheet reaches a retrieval that is running: the
    // server sees that many requests at once, more after a raise, fewer after a cut.
    void agentCountReachesARunningRetrieval() {
        TestServer site;
        site.serveGenerated([](const std::string& path, lurvik::test::Page& page) {
            int number = 0;
            if (std::sscanf(path.c_str(), "/s/%d.html", &number) != 1)
                return false;
            page.body = "<html><body>";
            for (int child = 4 * number + 1; child <= 4 * number + 4; ++child)
                page.body +=
                    "<a href=\"/s/" + std::to_string(child) + ".html\">" + std::to_string(child) + "</a>";
            page.body += "</body></html>";
            return true;
        });
        site.setReplyDelay(std::chrono::milliseconds(100));
        QCOMPARE(site.start(), 0);
        auto setAgents = [this](int count) {
            withOptions([count](OptionsSheet* sheet) {
                sheet->tabs()->setCurrentIndex(1);
                sheet->spin("background")->setValue(count);
                sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            });
        };
        // Waits for `more` requests, then tells the most seen at once among the next `more`. The
        // event loop runs all along, as in the program: QTest::qWaitFor sleeps between its turns,
        // and the busy loop would start fewer requests than the agents allow.
        auto mostAtOnce = [&site](size_t more) {
            for (int round = 0; round < 2; ++round) {
                const size_t target = site.requests().size() + more;
                if (round == 1)
                    site.resetMostRequestsAtOnce();
                QEventLoop loop;
                QTimer poll;
                connect(&poll, &QTimer::timeout, &loop, [&] {
                    if (site.requests().size() >= target)
                        loop.quit();
                });
                poll.start(5);
                QTimer::singleShot(kCrawlTimeoutMs, &loop, [&loop] { loop.exit(1); });
                if (loop.exec() != 0)
                    return -1;
            }
            return site.mostRequestsAtOnce();
        };
        setAgents(2);
        QVERIFY(window->startSite(QString::fromStdString(site.url("/s/0.html"))));
        const int atTwo = mostAtOnce(20);
        setAgents(8);
        const int atEight = mostAtOnce(60);
        setAgents(1);
        const int atOne = mostAtOnce(20);
        window->runCommand(CmdStop);
        QVERIFY(waitForEnd());
        QVERIFY2(atTwo >= 1 && atTwo <= 2, qPrintable(QString::number(atTwo)));
        QVERIFY2(atEight >= 6, qPrintable(QString::number(atEight)));
        QVERIFY2(atOne == 1, qPrintable(QString::number(atOne)));
    }

    // The Fonts page's choice reaches the stored settings and the tree at once.
    void fontsPageSetsTheViewFonts() {
        OptionsSheet::startPage() = 4;
        withOptions([](OptionsSheet* sheet) {
            const QStringList titles = {"General", "Network", "Cache",  "Advanced",
                                        "Fonts",   "Browser", "Ratings"};
            for (int i = 0; i < titles.size(); ++i)
                QCOMPARE(sheet->tabs()->tabText(i), titles[i]);
            QVERIFY(sheet->fontsPage());
            answerNext<QFontDialog>([](QFontDialog* dialog) {
                QFont picked = dialog->currentFont();
                picked.setPointSize(17);
                picked.setItalic(true);
                dialog->setCurrentFont(picked);
                dialog->accept();
            });
            sheet->findChild<QPushButton*>(QStringLiteral("changeTree"))->click();
            QVERIFY(sheet->applyButton()->isEnabled());
            sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        QCOMPARE(app->settings.treeSize, 17);
        QCOMPARE(app->settings.treeItalic, 1);
        QCOMPARE(window->treeView()->font().pointSize(), 17);
        QVERIFY(window->treeView()->font().italic());
        Settings stored;
        stored.loadSettings();
        QCOMPARE(stored.treeSize, 17);
        QCOMPARE(stored.treeFont, app->settings.treeFont);
    }

    // The rating switches need the administrator password (created first when there is none); a
    // refused password puts the box back; the stored flags and password follow the sheet.
    void ratingsAreGuardedByThePassword() {
        RatingSettings& ratings = app->ratings;
        QVERIFY(!ratings.ratingSystem.name.isEmpty());
        ratings.adminPasswordHash.clear();
        ratings.ratingsOn = ratings.blockViolated = ratings.passwordOverride = 0;
        auto enter = [](const QString& text) {
            answerNext<RatingPasswordDialog>([text](RatingPasswordDialog* dialog) {
                dialog->passwordEdit()->setText(text);
                dialog->accept();
            });
        };
        OptionsSheet::startPage() = 6;
        withOptions([&enter](OptionsSheet* sheet) {
            QCheckBox* on = sheet->check("ratingsOn");
            QVERIFY(!sheet->check("blockViolated")->isEnabled());
            answerNext<SetPasswordDialog>([](SetPasswordDialog* dialog) { dialog->reject(); });
            on->click();
            QVERIFY(!on->isChecked());
            QVERIFY(!sheet->applyButton()->isEnabled());

            answerNext<SetPasswordDialog>([](SetPasswordDialog* dialog) {
                QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
                dialog->newEdit()->setText(QStringLiteral("Secret"));
                dialog->confirmedEdit()->setText(QStringLiteral("secret"));
                QString caption, text;
                recordNextMessageBox(caption, text);
                ok->click();
                QCOMPARE(text, QStringLiteral("The new password and confirmed password do not match."));
                QVERIFY(dialog->isVisible());
                QVERIFY(dialog->newEdit()->text().isEmpty() && dialog->confirmedEdit()->text().isEmpty());
                dialog->newEdit()->setText(QStringLiteral("Secret"));
                dialog->confirmedEdit()->setText(QStringLiteral("Secret"));
                ok->click();
            });
            on->click();
            QVERIFY(on->isChecked());
            QVERIFY(sheet->applyButton()->isEnabled());
            QCheckBox* block = sheet->check("blockViolated");
            QVERIFY(block->isEnabled());

            QString caption, text;
            answerNext<RatingPasswordDialog>([&caption, &text](RatingPasswordDialog* dialog) {
                dialog->passwordEdit()->setText(QStringLiteral("SECRET"));
                dialog->accept();
                recordNextMessageBox(caption, text);
            });
            block->click();
            QVERIFY(!block->isChecked());
            QCOMPARE(caption, QStringLiteral("Lurvik - Wrong Password!"));
            enter(QStringLiteral("Secret"));
            block->click();
            QVERIFY(block->isChecked());
            sheet->check("passwordOverride")->click();
            QVERIFY(sheet->check("passwordOverride")->isChecked());
            sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        RatingSettings stored;
        (void)stored.load();
        QVERIFY(stored.isAdminPassword(Str("Secret")));
        QCOMPARE(stored.ratingsOn, 1);
        QCOMPARE(stored.blockViolated, 1);
        QCOMPARE(stored.passwordOverride, 1);
    }

    // The limits are edited on a copy: Apply stores the slider's level, Cancel keeps the old one.
    void ratingConfigurationSetsTheLimits() {
        RatingSettings& ratings = app->ratings;
        auto violence = [](const RatingSystem& system) {
            for (int i = 0; i < system.categories.len(); ++i)
                if (system.categories.get(i)->name == "Violence")
                    return system.categories.get(i)->limit;
            return -1;
        };
        {
            RatingConfigSheet sheet(ratings, {}, window.get());
            QCOMPARE(sheet.windowTitle(), QStringLiteral("Site Rating Configuration"));
            QTreeWidgetItem* root = sheet.categoryTree()->topLevelItem(0);
            QCOMPARE(root->text(0), QStringLiteral("Orvanne Content Ratings"));
            sheet.categoryTree()->setCurrentItem(root);
            QVERIFY(sheet.slider()->isHidden());
            sheet.categoryTree()->setCurrentItem(root->child(0));
            QCOMPARE(sheet.slider()->maximum(), 4);
            sheet.slider()->setValue(3);
            QCOMPARE(sheet.levelName()->text(), QStringLiteral("Level 3: Bloodshed"));
            QVERIFY(sheet.applyButton()->isEnabled());
            sheet.tabs()->setCurrentIndex(1);
            QCOMPARE(sheet.fileList()->item(0)->text(), QString::fromStdString(ratings.ratingsFile.str()));
            sheet.applyButton()->click();
        }
        QCOMPARE(violence(ratings.currentRatings), 3);
        RatingSystem stored;
        stored.loadFromRegistry(ratings.ratingSystem);
        QCOMPARE(violence(stored), 3);
        {
            RatingConfigSheet sheet(ratings, {}, window.get());
            sheet.categoryTree()->setCurrentItem(sheet.categoryTree()->topLevelItem(0)->child(0));
            QCOMPARE(sheet.slider()->value(), 3);
            sheet.slider()->setValue(1);
            sheet.reject();
        }
        QCOMPARE(violence(ratings.currentRatings), 3);
    }

    // With the limits lowered through the configuration sheet, a crawled page labelled above them
    // is marked in the tree and opens only through the password prompt, and not at all without the
    // override; a page within them is neither.
    void labelledPageIsMarkedAndGuarded() {
        RatingSettings& ratings = app->ratings;
        ratings.ratingsOn = ratings.markPages = ratings.blockViolated = ratings.passwordOverride = 1;
        ratings.setAdminPassword(Str("Secret"));
        window->treeModel()->ratingsOn = window->treeModel()->markPages = true;
        {
            RatingConfigSheet sheet(ratings, {}, window.get());
            sheet.categoryTree()->setCurrentItem(sheet.categoryTree()->topLevelItem(0)->child(0));
            sheet.slider()->setValue(1);
            sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
        const std::string label =
            "<meta http-equiv=\"PICS-Label\" content='(PICS-1.0 "
            "\"http://www.orvanne.example/ratings/orvanne-1.0.html\" l r (v %d s 0 n 0 l 0))'>";
        auto labelled = [&label](int violence, const char* title) {
            char meta[256];
            std::snprintf(meta, sizeof meta, label.c_str(), violence);
            return std::string("<html><head>") + meta + "<title>" + title +
                   "</title></head><body></body></html>";
        };
        server->addPage("/rated.html", "<html><body><a href=\"fight.html\">Fight</a> "
                                       "<a href=\"walk.html\">Walk</a></body></html>");
        server->addPage("/fight.html", labelled(3, "Fight"));
        server->addPage("/walk.html", labelled(0, "Walk"));
        QVERIFY(crawl("/rated.html"));
        const SiteTreeModel* model = window->treeModel();
        const SiteTreeModel::Item* fight = nullptr;
        const SiteTreeModel::Item* walk = nullptr;
        for (const SiteTreeModel::Item* child : site()->children)
            (model->itemText(child).contains(QStringLiteral("Fight")) ? fight : walk) = child;
        QVERIFY(fight && walk);
        QCOMPARE(model->itemImage(fight), 6);
        QCOMPARE(model->itemImage(walk), 4);

        const QString opener = Shell::desktopOpener();
        Shell::desktopOpener() = QStringLiteral("true");
        auto open = [&](const SiteTreeModel::Item* item) {
            return Shell::openURL(url(item == fight ? "/fight.html" : "/walk.html"), item->node, window.get(),
                                  app->settings, ratings);
        };
        auto answer = [](const QString& password) {
            answerNext<RatingPasswordDialog>([password](RatingPasswordDialog* dialog) {
                QCOMPARE(dialog->windowTitle(), QStringLiteral("Enter Ratings Password"));
                dialog->passwordEdit()->setText(password);
                dialog->accept();
            });
        };
        QString caption, text;
        answer(QStringLiteral("wrong"));
        recordNextMessageBox(caption, text);
        QCOMPARE(open(fight), 1);
        QCOMPARE(caption, QStringLiteral("Lurvik - Wrong Password!"));
        answer(QStringLiteral("Secret"));
        QCOMPARE(open(fight), 0);
        QCOMPARE(open(walk), 0);
        // Cancelled, the prompt opens nothing; without the override a blocked page stays shut.
        recordNextMessageBox(caption, text);
        QCOMPARE(open(fight), 1);
        ratings.passwordOverride = 0;
        recordNextMessageBox(caption, text);
        QCOMPARE(open(fight), 1);
        QCOMPARE(caption, QStringLiteral("This page is blocked..."));
        Shell::desktopOpener() = opener;
    }

    // Change Password wants the old password first; the Systems page loads another rating system
    // and goes back with Default; Browser's Reset All returns to the desktop's.
    void passwordSystemFileAndBrowserReset() {
        RatingSettings& ratings = app->ratings;
        ratings.setAdminPassword(Str("Secret"));
        app->settings.defaultWebBrowser = Str("/usr/bin/browser");
        QString caption, text;
        // Each answer queues the next one only once its own dialog is gone.
        auto enterOld = [&caption, &text](const QString& password, bool refused) {
            answerNext<RatingPasswordDialog>(
                [&caption, &text, password, refused](RatingPasswordDialog* dialog) {
                    dialog->passwordEdit()->setText(password);
                    dialog->accept();
                    if (refused) {
                        recordNextMessageBox(caption, text);
                        return;
                    }
                    answerNext<SetPasswordDialog>([](SetPasswordDialog* dialog) {
                        dialog->newEdit()->setText(QStringLiteral("Better"));
                        dialog->confirmedEdit()->setText(QStringLiteral("Better"));
                        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
                    });
                });
        };
        OptionsSheet::startPage() = 6;
        withOptions([&](OptionsSheet* sheet) {
            auto* change = sheet->findChild<QPushButton*>(QStringLiteral("changePassword"));
            enterOld(QStringLiteral("guess"), true);
            change->click();
            QCOMPARE(caption, QStringLiteral("Lurvik - Wrong Password!"));
            QVERIFY(ratings.isAdminPassword(Str("Secret")));
            enterOld(QStringLiteral("Secret"), false);
            change->click();
            sheet->tabs()->setCurrentIndex(5);
            sheet->findChild<QPushButton*>(QStringLiteral("resetBrowsers"))->click();
            QVERIFY(sheet->applyButton()->isEnabled());
            sheet->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        RatingSettings stored;
        (void)stored.load();
        QVERIFY(stored.isAdminPassword(Str("Better")));
        Settings storedSettings;
        storedSettings.loadSettings();
        QVERIFY(storedSettings.defaultWebBrowser.isEmpty());

        QTemporaryDir dir;
        const QString other = dir.filePath(QStringLiteral("other.rat"));
        {
            Str installed;
            QCOMPARE(findRatingsFile(Str(kDefaultRatingsFile), installed), 0);
            QFile original(lurvik::fromStr(installed));
            QVERIFY(original.open(QIODevice::ReadOnly));
            QByteArray text = original.readAll();
            text.replace("(name \"Orvanne Content Ratings\")", "(name \"Other Ratings\")");
            QVERIFY(writeFile(other, text));
        }
        RatingConfigSheet sheet(ratings, {}, window.get());
        sheet.tabs()->setCurrentIndex(1);
        sheet.chooseFile(other);
        QCOMPARE(sheet.fileList()->item(0)->text(), other);
        sheet.applyButton()->click();
        QCOMPARE(ratings.ratingSystem.name, Str("Other Ratings"));
        QCOMPARE(sheet.categoryTree()->topLevelItem(0)->text(0), QStringLiteral("Other Ratings"));
        sheet.findChild<QPushButton*>(QStringLiteral("defaultSystem"))->click();
        sheet.applyButton()->click();
        QCOMPARE(ratings.ratingSystem.name, Str("Orvanne Content Ratings"));
        (void)stored.load();
        QCOMPARE(stored.ratingsFile, Str(kDefaultRatingsFile));
    }

    void passwordDialogForProtectedPage() {
        test::Page secret;
        secret.body = "<html><head><title>Secret</title></head><body></body></html>";
        server->addProtected("/secret.html", "Members", "ann", "pw", secret);
        QString realm;
        answerNext<PasswordDialog>([&realm](PasswordDialog* dialog) {
            realm = dialog->findChild<QLabel*>(QStringLiteral("realm"))->text();
            dialog->userEdit()->setText(QStringLiteral("ann"));
            dialog->passwordEdit()->setText(QStringLiteral("pw"));
            dialog->accept();
        });
        QVERIFY(crawl("/secret.html"));
        QCOMPARE(realm, QStringLiteral("Members"));
        QCOMPARE(window->treeModel()->itemText(site()), QStringLiteral("Secret"));
        QCOMPARE(site()->node->state.load(), int(NODE_DONE));
    }

    void openLocationWithNothingOrCancel() {
        std::vector<Str> before;
        (void)app->settings.loadUrlHistory(before);
        answerNext<OpenLocationDialog>([](OpenLocationDialog* dialog) {
            dialog->combo()->setEditText(QString());
            emit dialog->findChild<QDialogButtonBox*>()->accepted();
        });
        window->runCommand(CmdOpenSite);
        answerNext<OpenLocationDialog>([](OpenLocationDialog* dialog) {
            dialog->combo()->setEditText(QStringLiteral("http://127.0.0.1:1/never.html"));
            dialog->reject();
        });
        window->runCommand(CmdOpenSite);
        std::vector<Str> after;
        (void)app->settings.loadUrlHistory(after);
        QCOMPARE(after.size(), before.size());
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(0));
    }

    // With DupChildren a page shows once, under its first parent; a duplicate site item removed
    // alone leaves the primary and its pages whole.
    void duplicatesAndTheirRemoval() {
        window->treeModel()->dupChildren = true;
        QVERIFY(crawl("/index.html"));
        SiteTreeModel& model = *window->treeModel();
        QCOMPARE(childTexts(model, site()), (QStringList{"Page A", "Page B"}));
        QCOMPARE(childTexts(model, site()->children[0]), QStringList());

        // The General page's switch adds the duplicates at once, and takes them away again.
        auto showDuplicates = [this](bool show) {
            withOptions([show](OptionsSheet* sheet) {
                sheet->tabs()->setCurrentIndex(0);
                sheet->check("dupChildren")->setChecked(!show);
                sheet->applyButton()->click();
                sheet->reject();
            });
        };
        app->settings.dupChildren = 1;
        showDuplicates(true);
        QCOMPARE(childTexts(model, site()->children[0]), (QStringList{"Page B", "Home"}));
        QCOMPARE(model.itemImage(site()->children[0]->children[0]), 5);
        showDuplicates(false);
        QCOMPARE(childTexts(model, site()->children[0]), QStringList());
        QCOMPARE(site()->children[1]->node->treeItems.len(), 1);

        QVERIFY(window->startSite(url("/index.html")));
        QCOMPARE(model.root()->children.size(), size_t(2));
        SiteTreeModel::Item* duplicate = model.root()->children[1];
        QVERIFY(!model.isPrimary(duplicate));
        QCOMPARE(model.itemImage(duplicate), 5);
        window->selectItem(duplicate);
        window->runCommand(CmdJumpToOriginal);
        QCOMPARE(window->selectedItem(), site());
        QCOMPARE(model.removeSite(duplicate), 0);
        QCOMPARE(model.root()->children.size(), size_t(1));
        QCOMPARE(site()->node->treeItems.len(), 1);
        QCOMPARE(app->engine.doneNodes.len(), 3);
        // Only top-level sites can be removed or reloaded.
        QCOMPARE(model.removeSite(site()->children[0]), 1);
        QCOMPARE(model.reloadSite(site()->children[0]), 1);
    }

    // Addresses that lead nowhere end in the tree's texts, never in a crash or a hang.
    // What the user is told when nothing can happen: the hint in the empty tree, an address no
    // retrieval can start at, a map named at start-up that cannot be read, no program for a link.
    void feedbackWhenNothingCanHappen() {
        QCOMPARE(window->treeView()->hint(), QStringLiteral("Open a site with Ctrl+O"));
        QString caption, text;
        const QList<QPair<QString, QString>> refused = {
            {QStringLiteral("http://[::bad"), QStringLiteral("\"http://[::bad\" is not a web address.")},
            {QStringLiteral("mailto:ann@example.com"),
             QStringLiteral("\"mailto:ann@example.com\" is a mailto: address; a site is retrieved from an "
                            "http or https address.")},
            {url("/pic.gif"),
             QStringLiteral("\"%1\" is not a web page; a site is retrieved from a page of HTML.")
                 .arg(url("/pic.gif"))},
        };
        for (const auto& [address, message] : refused) {
            text.clear();
            recordNextMessageBox(caption, text);
            window->startSiteOrSayWhy(address);
            QCOMPARE(caption, QStringLiteral("Lurvik"));
            QCOMPARE(text, message);
        }
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(0));

        // A map named on the command line says which of its failures it met.
        QTemporaryDir dir;
        QStringList said;
        for (const QString& name :
             {dir.filePath(QStringLiteral("missing.web")), dir.filePath(QStringLiteral("bad.web"))}) {
            if (name.endsWith(QStringLiteral("bad.web")))
                QVERIFY(writeFile(name, "not a site map"));
            window->openArgument(name, false);
            auto* box = window->findChild<QMessageBox*>();
            QVERIFY(box && box->isVisible());
            QVERIFY2(box->text().startsWith(QStringLiteral("Cannot open %1: ").arg(name)),
                     qPrintable(box->text()));
            said << box->text().mid(name.size());
            box->close();
            QTRY_VERIFY(!window->findChild<QMessageBox*>());
        }
        QVERIFY2(said[0] != said[1], qPrintable(said.join('|')));

        QVERIFY(window->startSite(url("/index.html")));
        QVERIFY(window->treeView()->hint().isEmpty());
        QVERIFY(waitForEnd());
        window->selectItem(site());
        const QString opener = Shell::desktopOpener();
        Shell::desktopOpener() = QStringLiteral("/nonexistent/opener");
        text.clear();
        recordNextMessageBox(caption, text);
        window->runCommand(CmdOpenInBrowser);
        Shell::desktopOpener() = opener;
        QCOMPARE(text,
                 QStringLiteral("No program could be started to open %1: \"/nonexistent/opener\" cannot "
                                "be run.")
                     .arg(url("/index.html")));
        window->runCommand(CmdRemoveAll);
        QCOMPARE(window->treeView()->hint(), QStringLiteral("Open a site with Ctrl+O"));
    }

    // The Status column says what the link report says, after a crawl in the window and after
    // opening the map of a command-line crawl that checked the images too.
    void linkStatusesMatchTheLinkReport() {
        server->addPage("/st/index.html", "<html><head><title>Statuses</title></head><body>"
                                          "<a href=\"b.html\">B</a> <a href=\"gone.html\">Gone</a> "
                                          "<a href=\"http://outside.example/\">Out</a> "
                                          "<a href=\"mailto:ann@example.com\">Mail</a>"
                                          "<img src=\"pic.gif\"><img src=\"b.html\"></body></html>");
        server->addPage("/st/b.html", kPageB);
        server->addRaw("/st/pic.gif", "HTTP/1.0 200 OK\r\nContent-Type: image/gif\r\n\r\nGIF89a");
        const QString start = url("/st/index.html");
        QTemporaryDir dir;
        const QString map = dir.filePath(QStringLiteral("checked.web"));
        auto reported = [&](const QStringList& options) {
            const QString report =
                outputOf(QStringLiteral(LURVIK_CLI),
                         QStringList{"crawl", start, "--links-report", "-", "--format", "tsv"} + options);
            QMap<QString, QString> statuses;
            for (const QString& line : report.split('\n'))
                if (line.section('\t', 0, 0) == start)
                    statuses[line.section('\t', 3, 3)] = line.section('\t', 5, 5);
            return statuses;
        };
        auto shown = [this] {
            QMap<QString, QString> statuses;
            LinkListModel& links = *window->linkModel();
            for (int row = 0; row < links.rowCount(); ++row)
                statuses[links.index(row, LinkListModel::ColumnUrl).data().toString()] =
                    links.index(row, LinkListModel::ColumnStatus).data().toString();
            return statuses;
        };

        QVERIFY(window->startSite(start));
        QVERIFY(waitForEnd());
        window->selectItem(site());
        QMap<QString, QString> inWindow = shown();
        QCOMPARE(inWindow, reported({}));
        QCOMPARE(inWindow.value(url("/st/gone.html")), QStringLiteral("failed 404"));
        QCOMPARE(inWindow.value(QStringLiteral("http://outside.example/")), QStringLiteral("outside limits"));
        QCOMPARE(inWindow.value(url("/st/pic.gif")), QStringLiteral("unchecked"));

        LinkListModel& links = *window->linkModel();
        links.clickColumn(LinkListModel::ColumnStatus);
        QCOMPARE(links.index(0, LinkListModel::ColumnStatus).data().toString(), QStringLiteral("done 200"));
        int failedRow = -1;
        for (int row = 0; row < links.rowCount(); ++row)
            if (links.index(row, LinkListModel::ColumnStatus).data().toString() ==
                QStringLiteral("failed 404"))
                failedRow = row;
        QVERIFY(failedRow > 0);
        QCOMPARE(links.index(failedRow, 0).data(Qt::ForegroundRole).value<QColor>(),
                 LinkListModel::errorColour());
        QVERIFY(!links.index(0, 0).data(Qt::ForegroundRole).isValid());

        QMap<QString, QString> checked = reported({"--check-links", "--save", map});
        QCOMPARE(checked.value(url("/st/pic.gif")), QStringLiteral("checked 200"));
        window->runCommand(CmdRemoveAll);
        QCOMPARE(window->mapFiles().openMap(map), 0);
        window->selectItem(site());
        QCOMPARE(shown(), checked);
    }

    void badAddressesAndHosts() {
        QVERIFY(!window->startSite(QStringLiteral("http://[::bad")));
        QVERIFY(!window->startSite(QString()));
        QCOMPARE(window->treeModel()->root()->children.size(), size_t(0));
        QVERIFY(!window->action(CmdStop)->isEnabled());

        // Nothing listens on port 1 of the loopback address.
        QVERIFY(window->startSite(QStringLiteral("http://127.0.0.1:1/x.html")));
        QVERIFY(waitForEnd());
        SiteTreeModel::Item* failed = site();
        QCOMPARE(failed->node->state.load(), int(NODE_ERROR));
        QCOMPARE(window->treeModel()->itemImage(failed), 3);
        window->selectItem(failed);
        QVERIFY2(window->statusInfoText().startsWith(QStringLiteral("Error - ")),
                 qPrintable(window->statusInfoText()));
        QCOMPARE(window->linkModel()->rowCount(), 0);
    }

    void stopKeepsFinishedPages() {
        server->addPage("/index.html", "<html><head><title>Home</title></head><body>"
                                       "<a href=\"stall.html\">s</a><a href=\"a.html\">a</a></body></html>");
        server->addStalled("/stall.html");
        QVERIFY(window->startSite(url("/index.html")));
        QVERIFY(QTest::qWaitFor([this] { return server->requestCount("/stall.html") > 0; }, kCrawlTimeoutMs));
        window->runCommand(CmdStop);
        QVERIFY(waitForEnd());
        QCOMPARE(app->pool.countRunning(), 0);
        for (const SiteTreeModel::Item* item : site()->children)
            QVERIFY(item->node->state == NODE_DONE);
        QCOMPARE(app->engine.pendingNodes.len(), 0);
    }

    // Closing the window in the middle of a retrieval cancels and joins every fetch at once.
    void closeDuringRetrievalIsPrompt() {
        server->addStalled("/stall.html");
        QVERIFY(window->startSite(url("/stall.html")));
        QVERIFY(QTest::qWaitFor([this] { return app->pool.countRunning() > 0; }, kCrawlTimeoutMs));
        QElapsedTimer clock;
        clock.start();
        window->close();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(app->pool.countRunning(), 0);
        QCOMPARE(app->engine.nodeCount(), 0);
        QVERIFY(!app->busyLoop->isBusy());
    }

    // The program itself, started with a site map's name: the map opens (a damaged one quietly
    // does not) and the program runs and exits normally either way.
    void startUpWithSiteMapArgument() {
        QVERIFY(crawl("/index.html"));
        QTemporaryDir dir;
        SiteMapFile map;
        map.fileName = Str(dir.filePath(QStringLiteral("Site Map.WEB")).toStdString());
        QCOMPARE(map.save(app->engine, nullptr, false), 0);
        const QString bad = dir.filePath(QStringLiteral("bad.web"));
        QVERIFY(writeFile(bad, "not a site map"));
        for (const QString& name : {QString::fromStdString(map.fileName.str()), bad}) {
            QString picture = dir.filePath(QStringLiteral("shot.png"));
            QFile::remove(picture);
            QProcess program;
            program.start(QStringLiteral(LURVIK_PROGRAM), {QStringLiteral("--screenshot"), picture, name});
            QVERIFY(program.waitForFinished(60000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
            QVERIFY(QFile::exists(picture));
        }
    }

    // The window's size, splitter and columns come back in the next run.
    void windowSettingsRoundTrip() {
        window->resize(700, 500);
        window->linkView()->setColumnWidth(1, 90);
        restartApplication();
        QCOMPARE(app->settings.typeWidth, 90);
        QCOMPARE(app->settings.mainRight - app->settings.mainLeft, 700);
        window = std::make_unique<MainWindow>(*app);
        QCOMPARE(window->width(), 700);
        QCOMPARE(window->linkView()->columnWidth(1), 90);

        // Maximised stays maximised, and the divider keeps its share of a different width.
        window->show();
        QSplitter* splitter = window->findChild<QSplitter*>();
        splitter->setSizes({300, 400});
        emit splitter->splitterMoved(300, 1);
        const double share = double(splitter->sizes()[0]) / (splitter->width() - splitter->handleWidth());
        window->showMaximized();
        restartApplication();
        QCOMPARE(app->settings.mainMaximized, 1);
        app->settings.mainRight = app->settings.mainLeft + 1400;
        window = std::make_unique<MainWindow>(*app);
        QVERIFY(window->windowState() & Qt::WindowMaximized);
        window->showNormal();
        window->resize(1400, 800);
        splitter = window->findChild<QSplitter*>();
        QTRY_COMPARE(splitter->width(), window->centralWidget()->width());
        const double restored = double(splitter->sizes()[0]) / (splitter->width() - splitter->handleWidth());
        QVERIFY2(std::abs(restored - share) < 0.02,
                 qPrintable(QStringLiteral("%1 %2").arg(restored).arg(share)));
    }

    // A first window takes two thirds of the screen, centred; on resizing, the tree keeps its share
    // and the address column, shown last, takes the list's new width.
    void layoutFollowsTheWindow() {
        window.reset();
        Settings& s = app->settings;
        s.mainLeft = s.mainTop = s.mainRight = s.mainBottom = s.treeWidth = s.paneWidth = s.mainMaximized = 0;
        window = std::make_unique<MainWindow>(*app);
        const QRect available = window->screen()->availableGeometry();
        QCOMPARE(window->width(), available.width() * 2 / 3);
        QCOMPARE(window->height(), available.height() * 2 / 3);
        QVERIFY((window->geometry().center() - available.center()).manhattanLength() <= 2);

        window->show();
        QHeaderView* header = window->linkView()->header();
        QCOMPARE(header->visualIndex(LinkListModel::ColumnUrl), LinkListModel::ColumnCount - 1);
        QSplitter* splitter = window->findChild<QSplitter*>();
        window->resize(800, 600);
        QTRY_COMPARE(splitter->width(), window->centralWidget()->width());
        const int narrowTree = window->treeView()->width();
        const int narrowUrl = header->sectionSize(LinkListModel::ColumnUrl);
        window->resize(1600, 600);
        QTRY_COMPARE(splitter->width(), window->centralWidget()->width());
        QVERIFY2(std::abs(window->treeView()->width() - 2 * narrowTree) <= 4,
                 qPrintable(QStringLiteral("%1 then %2").arg(narrowTree).arg(window->treeView()->width())));
        QVERIFY(header->sectionSize(LinkListModel::ColumnUrl) > narrowUrl + 400);
        QCOMPARE(window->linkView()->textElideMode(), Qt::ElideMiddle);

        auto* bar = window->findChild<QToolBar*>();
        QWidget* button = bar->widgetForAction(window->action(CmdOpenSite));
        window->statusBar()->showMessage(window->action(CmdOpenSite)->statusTip());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(button, &leave);
        QCOMPARE(window->statusBar()->currentMessage(), QString());

        SaveSiteMapDialog dialog(app->engine, window.get());
        QLabel* fileLabel = nullptr;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            if (label->text() == QStringLiteral("&Map Filename:"))
                fileLabel = label;
        QVERIFY(fileLabel);
        QCOMPARE(fileLabel->buddy(), dialog.fileEdit());
    }
};

QObject* makeMainWindowTest() {
    return new MainWindowTest;
}

#include "MainWindowTest.moc"
