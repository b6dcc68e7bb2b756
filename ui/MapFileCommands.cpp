#include "MapFileCommands.h"

#include "Application.h"
#include "BusyLoop.h"
#include "CompareMapsWindow.h"
#include "LinkListModel.h"
#include "MainWindow.h"
#include "SaveSiteMapDialog.h"
#include "Shell.h"
#include "SiteTreeItems.h"
#include "SlicedWork.h"
#include "platform/gui/WaitCursor.h"
#include "WindowCheckpoints.h"
#include "analysis/gui/RowsCsv.h"
#include "platform/gui/QtText.h"
#include "retrieval/WarcImport.h"
#include "sitemap/SiteMapFile.h"
#include "sitemap/TreeHtml5Export.h"
#include "sitemap/TreeHtmlExport.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cstring>
#include <memory>

namespace lurvik {

namespace {

// Below this many pages a site map's tree is built before the window answers again (a fraction of
// a second); from it on, a slice at a time with a progress window.
constexpr size_t kPagesShownAtOnce = 20000;

} // namespace

MapFileCommands::MapFileCommands(Application& app, MainWindow& window, WindowCheckpoints& checkpoints)
    : m_app(app), m_window(window), m_treeModel(*window.treeModel()), m_checkpoints(checkpoints) {}

int MapFileCommands::importWarc(const QStringList& files) {
    // The archive stands in for the network: pages a running retrieval still waits for would be
    // looked for in it.
    if (m_app.engine.isBusy()) {
        QMessageBox::warning(&m_window, QStringLiteral("Lurvik"),
                             QStringLiteral("Stop the running retrieval before importing an archive."));
        return 1;
    }
    WarcImport archive(m_app.engine, m_app.scheduler);
    QStringList problems;
    for (const QString& file : files)
        if (int error = archive.addFile(file.toStdString()))
            problems << QStringLiteral("%1: %2").arg(file, QString::fromLocal8Bit(std::strerror(error)));
    URL start(archive.firstPage());
    int result = 0;
    if (!start.isHtml()) {
        problems << QStringLiteral("The archives hold no HTML page to start from.");
        result = 1;
    } else {
        m_treeModel.startSite(start);
        withWaitCursor([&] { archive.run(start, true, nullptr); });
    }
    for (const WarcImport::Problem& problem : archive.problems())
        problems << QStringLiteral("%1: offset %2: %3")
                        .arg(QString::fromStdString(problem.file))
                        .arg(problem.offset)
                        .arg(QString::fromStdString(problem.text));
    if (!problems.isEmpty()) {
        result = 1;
        QMessageBox::warning(&m_window, QStringLiteral("Lurvik"),
                             QStringLiteral("Some of the archive could not be read:\n") +
                                 problems.mid(0, 20).join('\n'));
    }
    m_window.sitesChanged();
    return result;
}

int MapFileCommands::openMap(const QString& fileName) {
    QString why;
    const int result = readMap(fileName, why);
    if (result != 0)
        QMessageBox::warning(&m_window, QStringLiteral("Lurvik Error"), why);
    return result;
}

void MapFileCommands::showMapPages(std::vector<SiteNode*> pages) {
    const std::vector<SiteTreeModel::Item*> before = m_treeModel.root()->children;
    const size_t total = std::max<size_t>(1, pages.size());
    auto shown = std::make_shared<size_t>(0);
    std::function<bool()> step = m_treeModel.mapPagesStep(std::move(pages));
    m_mapFill = new SlicedWork(
        &m_window, QStringLiteral("Opening the site map..."),
        [step, shown] {
            ++*shown;
            return step();
        },
        [shown, total] { return int(std::min<size_t>(99, *shown * 100 / total)); });
    // Shown at once: the window modal to it keeps the user from a tree still being built.
    m_mapFill->setQuietTime(0);
    QObject::connect(m_mapFill, &SlicedWork::finished, &m_window, [this, step, before](bool completed) {
        if (!completed) {
            // Cancel leaves the window as it was before the map: the rest is shown at once (the
            // tree must hold every page for Remove to find it), then the map's sites go.
            while (step()) {
            }
            std::vector<SiteTreeModel::Item*> added;
            for (SiteTreeModel::Item* site : m_treeModel.root()->children)
                if (std::find(before.begin(), before.end(), site) == before.end())
                    added.push_back(site);
            for (SiteTreeModel::Item* site : added)
                m_window.removeSite(site);
        }
        m_window.sitesChanged();
    });
    m_mapFill->start();
}

CompareMapsWindow* MapFileCommands::compareWithMap(const QString& fileName) {
    auto* window = new CompareMapsWindow(m_app, fileName, &m_window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->loaded()) {
        QMessageBox::warning(&m_window, QStringLiteral("Lurvik Error"), window->errorText());
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

void MapFileCommands::offerUnfinishedRetrieval() {
    m_checkpoints.offerLeftOver(
        [this](const QString& fileName, QString& why) { return readMap(fileName, why); });
}

bool MapFileCommands::askToContinue(size_t pages) {
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Lurvik"),
        QStringLiteral("This site map holds a retrieval that did not finish: %1 page(s) were still to "
                       "be retrieved.\nContinue retrieval?")
            .arg(pages),
        QMessageBox::NoButton, &m_window);
    box.setObjectName(QStringLiteral("continueRetrieval"));
    QPushButton* goOn = box.addButton(QStringLiteral("&Continue retrieval"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("&Open as it is"), QMessageBox::RejectRole);
    box.setDefaultButton(goOn);
    box.exec();
    return box.clickedButton() == static_cast<QAbstractButton*>(goOn);
}

int MapFileCommands::readMap(const QString& fileName, QString& why) {
    SiteMapFile map;
    map.fileName = Str(fileName.toStdString());
    int result = 0;
    std::vector<SiteNode*> loaded;
    auto announce = std::move(m_app.engine.onNodeChanged);
    m_app.engine.onNodeChanged = [&loaded](SiteNode* node, int code) {
        if (code == -1)
            loaded.push_back(node);
    };
    withWaitCursor([&] {
        result = map.open(m_app.engine);
        m_app.engine.onNodeChanged = std::move(announce);
        for (const CheckedLink& link : map.checkedLinks)
            m_app.checkedLinks.record(link.url, {link.status, link.failed, link.errorText});
    });
    // A map a crawl checkpointed, or stopped, holds what it had still to do: the user may go on.
    const bool goesOn =
        result == 0 && !map.frontier.pages.empty() && askToContinue(map.frontier.pages.size());
    if (goesOn) {
        const std::vector<SiteNode*> waiting =
            restoreFrontier(map.frontier, m_app.engine, [this](SiteNode* node, int waitMs) {
                m_app.scheduler.waitBeforeRetry(node, waitMs);
            });
        loaded.insert(loaded.end(), waiting.begin(), waiting.end());
    }
    // Showing a big map's pages takes longer than reading them: they are shown a slice at a time
    // behind a progress window, a small map's at once.
    if (loaded.size() < kPagesShownAtOnce)
        withWaitCursor([&] { m_treeModel.addMapPages(loaded); });
    else
        showMapPages(std::move(loaded));
    if (goesOn)
        m_app.busyLoop->check();
    if (result == 4005 || result == 4004) {
        why = QString::fromLatin1(siteMapErrorText(result));
    } else if (result != 0) {
        // The command line's words, so that a user and a script read the same reason.
        why = QStringLiteral("Cannot open %1: %2")
                  .arg(QDir::toNativeSeparators(fileName), QString::fromStdString(map.failureText(result)));
    }
    m_window.sitesChanged();
    return result;
}

void MapFileCommands::chooseMapToOpen() {
    static QString lastName;
    QFileDialog dialog(&m_window, QStringLiteral("Open Site Map"), lastName,
                       QStringLiteral("WWW SiteMap (*.web)"));
    dialog.setDefaultSuffix(QStringLiteral("web"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setObjectName(QStringLiteral("OpenSiteMapDialog"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    lastName = dialog.selectedFiles().first();
    openMap(lastName);
}

void MapFileCommands::chooseMapToCompare() {
    const QString file = QFileDialog::getOpenFileName(&m_window, QStringLiteral("Compare with Map"),
                                                      QString(), QStringLiteral("Site maps (*.web)"));
    if (!file.isEmpty())
        compareWithMap(file);
}

void MapFileCommands::chooseWarcsToImport() {
    QStringList files = QFileDialog::getOpenFileNames(&m_window, QStringLiteral("Import WARC"), QString(),
                                                      QStringLiteral("WARC archives (*.warc *.warc.gz)"));
    if (!files.isEmpty())
        importWarc(files);
}

void MapFileCommands::saveMap() {
    SiteTreeModel::Item* sel = m_window.selectedItem();
    if (!sel)
        return;
    SaveSiteMapDialog dialog(m_app.engine, &m_window);
    dialog.setRoot(sel == m_treeModel.root() ? nullptr : sel->node, sel != nullptr);
    dialog.setCheckedLinks(checkedLinksOf(m_app.checkedLinks));
    dialog.exec();
}

void MapFileCommands::saveTreeAs() {
    // The first form is the described layout other tools read; the second is a page for people.
    const QString described = QStringLiteral("HTML Files (*.htm *.html)");
    const QString html5 = QStringLiteral("Web page (HTML5) (*.html)");
    QString filter;
    QString fileName = QFileDialog::getSaveFileName(&m_window, QStringLiteral("Save As"), QString(),
                                                    described + QStringLiteral(";;") + html5, &filter);
    if (fileName.isEmpty())
        return;
    const TreeForm form = filter == html5 ? TreeForm::Html5 : TreeForm::Described;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += form == TreeForm::Html5 ? QStringLiteral(".html") : QStringLiteral(".htm");
    SiteTreeModel::Item* sel = m_window.selectedItem();
    if (exportTree(fileName, sel ? sel : m_treeModel.root(), form) == 0 && m_app.settings.autoLaunch == 1)
        Shell::openFile(fileName, &m_window, m_app.settings, m_app.ratings);
}

int MapFileCommands::exportTree(const QString& fileName, SiteTreeModel::Item* start, TreeForm form) {
    SiteTreeItems items(m_treeModel);
    Str error;
    int result = 0;
    withWaitCursor([&] {
        result = form == TreeForm::Html5 ? exportTreeHtml5(fileName.toStdString(), items, start, &error)
                                         : exportTreeHtml(fileName.toStdString(), items, start, &error);
    });
    if (result != 0)
        QMessageBox::warning(&m_window, QStringLiteral("Lurvik Error"), fromStr(error));
    return result;
}

void MapFileCommands::saveLinkListCsv() {
    QString fileName = QFileDialog::getSaveFileName(&m_window, QStringLiteral("Save List as CSV"), QString(),
                                                    QStringLiteral("CSV (*.csv)"));
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".csv");
    QString error;
    if (saveRowsAsCsv(*m_window.linkModel(), fileName, error) != 0)
        QMessageBox::warning(
            &m_window, QStringLiteral("Lurvik Error"),
            QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(fileName), error));
}

} // namespace lurvik
