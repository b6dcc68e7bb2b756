#include "MainWindow.h"

#include "Application.h"
#include "BusyLoop.h"
#include "Commands.h"
#include "ContextMenus.h"
#include "FindCommands.h"
#include "GoToPageDialog.h"
#include "HelpWindow.h"
#include "HtmlHighlighter.h"
#include "Icons.h"
#include "LinkCheckLoop.h"
#include "LinkDownloads.h"
#include "LinkFilterBar.h"
#include "LinkListModel.h"
#include "MapFileCommands.h"
#include "OpenLocationDialog.h"
#include "OptionsSheet.h"
#include "PasswordDialog.h"
#include "PropertiesSheet.h"
#include "ScheduleRunner.h"
#include "SchedulerDialog.h"
#include "Shell.h"
#include "SiteTreeView.h"
#include "SlicedWork.h"
#include "SourcePane.h"
#include "SourceText.h"
#include "TreeExpansion.h"
#include "UserAddress.h"
#include "ViewFonts.h"
#include "platform/gui/WaitCursor.h"
#include "WindowCheckpoints.h"
#include "WindowLayout.h"
#include "WindowPrinter.h"
#include "find/gui/FindWindow.h"
#include "platform/gui/QtText.h"
#include "retrieval/Download.h"
#include "retrieval/LinkStatus.h"
#include "sitemap/TreeHtmlExport.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace lurvik {

namespace {

const QString kProgramStatus = QStringLiteral("Lurvik 1.0");
constexpr int kStatusRefreshMs = 100;

// The information line of a page: nothing while it waits, else what the views may read of it.
QString infoLine(const SiteNode* node) {
    if (!node || node->state == NODE_WAITING)
        return {};
    Str title;
    node->displayTitle(title);
    return fromStr(title);
}

// The maker's addresses behind the contact commands.
const char* const kSupportMail = "mailto:support@orvanne.example?subject=Lurvik";
const char* const kSuggestionMail = "mailto:suggestions@orvanne.example?subject=Lurvik";
const char* const kListMail = "mailto:lurvik-list@orvanne.example?subject=subscribe";
const char* const kWebSite = kLurvikHomePage;

} // namespace

MainWindow::MainWindow(Application& app, QWidget* parent)
    : QMainWindow(parent), m_app(app),
      m_treeModel(new SiteTreeModel(app.engine, app.pool, app.scheduler, this)),
      m_linkModel(new LinkListModel(this)), m_downloads(std::make_unique<LinkDownloads>(app.pool)),
      m_printer(std::make_unique<WindowPrinter>(*m_treeModel, *m_linkModel, this)),
      m_findCommands(std::make_unique<FindCommands>(app, *this)),
      m_contextMenus(std::make_unique<ContextMenus>(*this)) {
    setWindowTitle(QStringLiteral("Lurvik"));
    // Every window without an icon of its own, the download and Find windows among them, takes this.
    QApplication::setWindowIcon(Icons::programIcon());
    resize(640, 480);
    createActions();
    createMenus();
    createToolBar();
    createViews();

    m_statusUrl = new QLabel(kProgramStatus, this);
    m_statusInfo = new QLabel(this);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(59);
    m_progress->setRange(0, std::max(1, app.settings.numFGAgents + app.settings.numBGAgents));
    m_progress->setValue(0);
    statusBar()->addWidget(m_statusUrl, 3);
    statusBar()->addWidget(m_statusInfo, 2);
    statusBar()->addPermanentWidget(m_progress);
    if (app.renderError == RenderError::NotInstalled)
        statusBar()->showMessage(
            QStringLiteral("Rendering needs chromium-headless-shell: pages are read as served"));

    Settings& settings = app.settings;
    m_treeModel->dupChildren = settings.dupChildren != 0;
    m_treeModel->autoExpand = settings.autoExpand != 0;
    m_treeModel->ratingsOn = app.ratings.ratingsOn != 0;
    m_treeModel->markPages = app.ratings.markPages != 0;
    m_treeModel->blockUnrated = app.ratings.blockUnrated != 0;
    m_treeModel->onClearSelection = [this] { m_tree->selectionModel()->clearSelection(); };
    m_treeModel->onSelect = [this](SiteTreeModel::Item* item) { selectItem(item); };
    m_treeModel->onExpand = [this](SiteTreeModel::Item* item, bool expand) {
        m_tree->setExpanded(m_treeModel->indexOf(item), expand);
    };
    m_treeModel->onItemChanged = [this](SiteTreeModel::Item* item) { itemChanged(item); };
    m_treeModel->onRefresh = [this] { refreshStatus(); };

    app.engine.onNodeChanged = [this](SiteNode* node, int code) { m_treeModel->nodeChanged(node, code); };
    // The engine reports every page; text redrawn faster than it can be read costs the crawl.
    m_statusDelay.setSingleShot(true);
    m_statusDelay.setInterval(kStatusRefreshMs);
    connect(&m_statusDelay, &QTimer::timeout, this, &MainWindow::refreshStatus);
    m_paneRefresh.setSingleShot(true);
    m_paneRefresh.setInterval(kStatusRefreshMs);
    connect(&m_paneRefresh, &QTimer::timeout, this, &MainWindow::refreshPane);
    app.scheduler.onRefreshStatus = [this] {
        if (!m_statusDelay.isActive())
            m_statusDelay.start();
    };
    app.pool.onNeedPassword = [this](const Str&, const Str& realm, Str& user, Str& password) {
        return PasswordDialog::askNetworkPassword(this, realm, user, password);
    };
    connect(app.busyLoop, &BusyLoop::retrievalStarted, this, &MainWindow::retrievalStarted);
    connect(app.busyLoop, &BusyLoop::retrievalEnded, this, &MainWindow::retrievalEnded);
    m_schedule = std::make_unique<ScheduleRunner>(app, *this);
    m_checkpoints = new WindowCheckpoints(app, this);
    m_mapFiles = std::make_unique<MapFileCommands>(app, *this, *m_checkpoints);
    connect(app.busyLoop, &BusyLoop::retrievalStarted, m_checkpoints, &WindowCheckpoints::retrievalStarted);
    connect(app.busyLoop, &BusyLoop::retrievalEnded, m_checkpoints, &WindowCheckpoints::retrievalEnded);
    m_linkChecks = new LinkCheckLoop(app, this);
    connect(m_linkChecks, &LinkCheckLoop::progressed, this, &MainWindow::refreshPane);
    connect(m_linkChecks, &LinkCheckLoop::finished, this, [this] {
        m_schedule->finishMonitoring();
        m_actions[CmdStop]->setEnabled(m_app.busyLoop->isBusy());
        statusBar()->showMessage(QStringLiteral("Checked %1 links (%2 broken)")
                                     .arg(m_app.checkedLinks.checkedCount())
                                     .arg(m_app.checkedLinks.failedCount()),
                                 10000);
    });

    applyFonts();
    m_layout->restore();
    setViewMode(CmdDetails);
    selectItem(m_treeModel->root());
    updateCommands();
}

MainWindow::~MainWindow() {
    m_linkChecks->stop();
    m_findCommands->closeFindWindows();
    if (!m_shutDown) {
        m_linkModel->clear();
        m_treeModel->clearAll();
        m_app.shutdown();
    }
}

void MainWindow::createActions() {
    static const int ids[] = {
        CmdOpenSite,     CmdOpenMap,       CmdSaveMap,      CmdSaveAs,      CmdPageSetup,   CmdPrint,
        CmdExit,         CmdCopy,          CmdSelectAll,    CmdGoToPage,    CmdFind,        CmdFindWizard,
        CmdExpandAll,    CmdCollapseAll,   CmdRemoveSite,   CmdRemoveAll,   CmdProperties,  CmdLargeIcons,
        CmdSmallIcons,   CmdList,          CmdDetails,      CmdHtmlSource,  CmdSortByLink,  CmdSortByType,
        CmdSortByUrl,    CmdReloadSite,    CmdStop,         CmdOptions,     CmdScheduler,   CmdHelpTopics,
        CmdFaq,          CmdReadme,        CmdTechSupport,  CmdSuggestions, CmdMailingList, CmdWebSite,
        CmdAbout,        CmdOpenInBrowser, CmdOpenLink,     CmdSaveLinkAs,  CmdLurvikLink,  CmdJumpToOriginal,
        CmdShowHtmlTags, CmdCopyPagePath,  CmdCopyLinkPath, CmdGetNow,      CmdImportWarc,  CmdCompareMap,
    };
    for (int id : ids) {
        const CommandInfo* info = findCommand(id);
        auto* action = new QAction(QString::fromLatin1(info->menuText), this);
        action->setObjectName(QStringLiteral("cmd%1").arg(id));
        action->setData(id);
        action->setStatusTip(QString::fromLatin1(info->helpText));
        action->setToolTip(QString::fromLatin1(info->helpText));
        if (*info->shortcut)
            action->setShortcut(QKeySequence(QString::fromLatin1(info->shortcut)));
        action->setEnabled(info->available);
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        m_actions.insert(id, action);
        // Shortcuts work while the menus are closed only when the window holds the action.
        addAction(action);
    }
    auto* views = new QActionGroup(this);
    for (int id : {CmdLargeIcons, CmdSmallIcons, CmdList, CmdDetails, CmdHtmlSource}) {
        m_actions[id]->setCheckable(true);
        views->addAction(m_actions[id]);
    }
    m_actions[CmdShowHtmlTags]->setCheckable(true);
    m_actions[CmdShowHtmlTags]->setChecked(true);
    m_actions[CmdStop]->setEnabled(false);
    m_actions[CmdHtmlSource]->setEnabled(false);
}

void MainWindow::createMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions[id]);
        }
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    add(file, {CmdOpenSite, CmdOpenMap, CmdImportWarc, CmdCompareMap, CmdSaveMap, CmdSaveAs, 0, CmdStop, 0,
               CmdPageSetup, CmdPrint, 0, CmdExit});
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    add(edit, {CmdCopy, CmdSelectAll, 0, CmdGoToPage, CmdFind, CmdFindWizard, 0, CmdExpandAll, CmdCollapseAll,
               0, CmdRemoveSite, CmdRemoveAll, 0, CmdProperties});
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    add(view, {CmdLargeIcons, CmdSmallIcons, CmdList, CmdDetails, CmdHtmlSource, 0});
    QMenu* arrange = view->addMenu(QStringLiteral("Arrange &Icons"));
    add(arrange, {CmdSortByLink, CmdSortByType, CmdSortByUrl});
    add(view, {0, CmdReloadSite, 0, CmdOptions, CmdScheduler});
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    add(help, {CmdHelpTopics, CmdFaq, CmdReadme, 0, CmdTechSupport, CmdSuggestions, CmdMailingList,
               CmdWebSite, 0, CmdAbout});
    for (QMenu* menu : {file, edit, view})
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateCommands);
}

void MainWindow::createToolBar() {
    QToolBar* bar = addToolBar(QStringLiteral("Toolbar"));
    bar->setObjectName(QStringLiteral("toolbar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(16, 16));
    const std::pair<int, int> buttons[] = {
        {CmdOpenSite, 0},
        {CmdOpenMap, 1},
        {CmdPrint, 2},
        {0, 0},
        {CmdCopy, 3},
        {CmdProperties, 4},
        {0, 0},
        {CmdLargeIcons, 5},
        {CmdSmallIcons, 6},
        {CmdList, 7},
        {CmdDetails, 8},
        {CmdHtmlSource, 9},
        {0, 0},
        {CmdFind, 10},
        {CmdFindWizard, 11},
        {CmdScheduler, 12},
        {0, 0},
        {CmdStop, 14},
    };
    for (auto [id, image] : buttons) {
        if (id == 0) {
            bar->addSeparator();
            continue;
        }
        m_actions[id]->setIcon(Icons::toolbarIcon(image));
        bar->addAction(m_actions[id]);
        if (QWidget* button = bar->widgetForAction(m_actions[id]))
            button->installEventFilter(this);
    }
}

void MainWindow::createViews() {
    m_tree = new SiteTreeView(this);
    m_tree->setObjectName(QStringLiteral("siteTree"));
    m_tree->setModel(m_treeModel);
    m_tree->setHeaderHidden(true);
    // Uniform rows let the view lay out tens of thousands of items without asking each one.
    m_tree->setUniformRowHeights(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &MainWindow::selectionChanged);
    connect(m_tree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_contextMenus->showTreeMenu(at); });

    m_linkTable = new QTreeView(this);
    m_linkTable->setObjectName(QStringLiteral("linkList"));
    m_linkTable->setModel(m_linkModel);
    m_linkTable->setRootIsDecorated(false);
    m_linkTable->setUniformRowHeights(true);
    m_linkTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_linkTable->setContextMenuPolicy(Qt::CustomContextMenu);
    m_linkTable->header()->setSectionsClickable(true);
    // The address is what a user reads most: it is shown last, takes the width left over, and
    // loses its middle rather than its end when it does not fit.
    m_linkTable->header()->moveSection(LinkListModel::ColumnStatus, LinkListModel::ColumnUrl);
    m_linkTable->header()->setStretchLastSection(true);
    m_linkTable->setTextElideMode(Qt::ElideMiddle);
    connect(m_linkTable->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_linkModel->clickColumn(column); });
    connect(m_linkModel, &LinkListModel::sortIndicatorChanged, this, &MainWindow::updateSortIndicator);

    m_linkIcons = new QListView(this);
    m_linkIcons->setObjectName(QStringLiteral("linkIcons"));
    m_linkIcons->setModel(m_linkModel);
    m_linkIcons->setSelectionModel(m_linkTable->selectionModel());
    m_linkIcons->setContextMenuPolicy(Qt::CustomContextMenu);
    m_linkIcons->setResizeMode(QListView::Adjust);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_linkTable), static_cast<QAbstractItemView*>(m_linkIcons)}) {
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view](const QPoint& at) { m_contextMenus->showListMenu(view, at); });
        connect(view, &QAbstractItemView::doubleClicked, this, [this] {
            if (selectedLink())
                runCommand(CmdOpenLink);
        });
    }

    m_sourcePane = new SourcePane(m_app.pool, this);
    m_source = m_sourcePane->editor();
    connect(m_source, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { m_contextMenus->showSourceMenu(at); });
    connect(m_sourcePane, &SourcePane::pageFetched, this, [this] { loadSource(selectedItem()); });
    connect(m_sourcePane, &SourcePane::renderedToggled, this, [this] { loadSource(selectedItem()); });

    m_pane = new QStackedWidget(this);
    m_pane->addWidget(m_linkTable);
    m_pane->addWidget(m_linkIcons);
    m_pane->addWidget(m_sourcePane);

    m_filterBar = new LinkFilterBar(*m_linkModel, this);
    auto* right = new QWidget(this);
    auto* column = new QVBoxLayout(right);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_filterBar);
    column->addWidget(m_pane, 1);
    // The source has nothing to filter.
    connect(m_pane, &QStackedWidget::currentChanged, this,
            [this] { m_filterBar->setVisible(m_pane->currentWidget() != m_sourcePane); });

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_tree);
    splitter->addWidget(right);
    splitter->setChildrenCollapsible(false);
    setCentralWidget(splitter);
    m_layout = new WindowLayout(m_app.settings, *this, *splitter, *m_linkTable);
}

void MainWindow::applyFonts() {
    const Settings& s = m_app.settings;
    m_tree->setFont(viewFont(s, ViewFont::Tree));
    m_linkTable->setFont(viewFont(s, ViewFont::List));
    m_linkIcons->setFont(viewFont(s, ViewFont::List));
    m_source->setFont(viewFont(s, ViewFont::Html));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A button's status tip would otherwise stay after the pointer has gone elsewhere.
    if (event->type() == QEvent::Leave && qobject_cast<QToolButton*>(watched))
        statusBar()->clearMessage();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Running downloads finish first: the window goes, their windows stay until they end.
    if (Download::activeCount() > 0) {
        hide();
        event->ignore();
        QTimer::singleShot(250, this, [this] { close(); });
        return;
    }
    m_linkChecks->stop();
    m_findCommands->closeFindWindows();
    if (!m_shutDown) {
        m_shutDown = true;
        m_layout->store();
        m_checkpoints->saveBeforeClosing();
        m_tree->selectionModel()->clearSelection();
        m_linkModel->clear();
        m_treeModel->clearAll();
        m_app.shutdown();
    }
    event->accept();
}

SiteTreeModel::Item* MainWindow::selectedItem() const {
    return m_treeModel->itemAt(m_tree->selectionModel()->currentIndex());
}

void MainWindow::selectItem(SiteTreeModel::Item* item) {
    QModelIndex index = m_treeModel->indexOf(item);
    m_tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (index.isValid())
        m_tree->scrollTo(index);
}

bool MainWindow::selectPageByURL(const URL& url) {
    SiteNode* node = m_app.engine.findNode(url, true, false);
    if (!node || node->treeItems.len() == 0)
        return false;
    SiteTreeModel::Item* item = m_treeModel->itemById(node->treeItems.get(0));
    if (!item)
        return false;
    selectItem(item);
    return true;
}

QString MainWindow::statusUrlText() const {
    return m_statusUrl->text();
}

QString MainWindow::statusInfoText() const {
    return m_statusInfo->text();
}

void MainWindow::setInfoText(const QString& text) {
    if (text == m_lastStatusText)
        return;
    m_lastStatusText = text;
    m_statusInfo->setText(text);
}

void MainWindow::selectionChanged() {
    SiteTreeModel::Item* item = selectedItem();
    if (item && item != m_treeModel->root() && item->node) {
        m_statusUrl->setText(QString::fromStdString(item->node->url.text()));
        setInfoText(infoLine(item->node));
        m_actions[CmdHtmlSource]->setEnabled(true);
    } else {
        m_statusUrl->setText(kProgramStatus);
        Str progress;
        m_app.engine.progressText(progress);
        setInfoText(item ? fromStr(progress) : QString());
        m_actions[CmdHtmlSource]->setEnabled(false);
        if (m_viewMode == CmdHtmlSource)
            setViewMode(CmdDetails);
    }
    fillPane(item);
    updateCommands();
}

void MainWindow::fillPane(SiteTreeModel::Item* item) {
    if (!item) {
        m_linkModel->clear();
        return;
    }
    if (item == m_treeModel->root()) {
        std::vector<const SiteNode*> sites;
        for (const SiteTreeModel::Item* site : item->children)
            if (site->node)
                sites.push_back(site->node);
        m_linkModel->statusOf = [this](const LinkRecord& link) {
            const SiteNode* site = m_app.engine.findNode(link.url, true, true);
            return site ? linkTargetStatus(m_app.engine, *site, link, nullptr) : std::string();
        };
        m_linkModel->fillSites(sites);
        return;
    }
    const SiteNode* page = item->node;
    m_linkModel->statusOf = [this, page](const LinkRecord& link) {
        return linkTargetStatus(m_app.engine, *page, link, &m_app.checkedLinks);
    };
    m_linkModel->fillPage(item->node);
    if (m_viewMode == CmdHtmlSource)
        loadSource(item);
}

void MainWindow::loadSource(SiteTreeModel::Item* item) {
    if (!item || !item->node || item == m_treeModel->root())
        return;
    m_sourcePane->showPage(*item->node, m_showHtmlTags);
}

void MainWindow::setViewMode(int command) {
    m_viewMode = command;
    m_actions[command]->setChecked(true);
    bool source = command == CmdHtmlSource;
    if (source) {
        SiteTreeModel::Item* item = selectedItem();
        if (item && item != m_treeModel->root())
            loadSource(item);
        m_pane->setCurrentWidget(m_sourcePane);
    } else if (command == CmdDetails) {
        m_pane->setCurrentWidget(m_linkTable);
    } else {
        bool large = command == CmdLargeIcons;
        m_linkIcons->setViewMode(command == CmdList || command == CmdSmallIcons ? QListView::ListMode
                                                                                : QListView::IconMode);
        m_linkIcons->setFlow(command == CmdList ? QListView::TopToBottom : QListView::LeftToRight);
        m_linkIcons->setWrapping(true);
        m_linkIcons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
        m_linkIcons->setGridSize(large ? QSize(96, 64) : QSize());
        m_pane->setCurrentWidget(m_linkIcons);
    }
    m_actions[CmdCopy]->setEnabled(source);
    m_actions[CmdSelectAll]->setEnabled(source);
}

void MainWindow::updateSortIndicator() {
    QHeaderView* header = m_linkTable->header();
    if (m_linkModel->sortColumn() < 0) {
        header->setSortIndicatorShown(false);
        return;
    }
    header->setSortIndicatorShown(true);
    header->setSortIndicator(m_linkModel->sortColumn(),
                             m_linkModel->sortDescending() == 1 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void MainWindow::refreshStatus() {
    SiteTreeModel::Item* item = selectedItem();
    Str progress;
    m_app.engine.progressText(progress);
    if (item) {
        if (item == m_treeModel->root())
            setInfoText(fromStr(progress));
        else
            setInfoText(infoLine(item->node));
    }
    QString title = fromStr(progress);
    if (title != m_lastTitleText) {
        m_lastTitleText = title;
        setWindowTitle(QStringLiteral("Lurvik [%1]").arg(title));
    }
    m_progress->setValue(m_app.pool.countRunning());
}

void MainWindow::itemChanged(SiteTreeModel::Item* item) {
    if (m_treeModel->isTopLevelSite(item) && item->node)
        tellStartFailure(*item->node);
    SiteTreeModel::Item* selected = selectedItem();
    if (item != selected) {
        // Another page changed: it may be the target of one of the selected page's links, whose
        // status the list shows. Many pages finish a second, so the list is told once a while.
        if (!m_paneRefresh.isActive())
            m_paneRefresh.start();
        return;
    }
    fillPane(item);
    if (item != m_treeModel->root() && item->node)
        setInfoText(infoLine(item->node));
}

void MainWindow::tellStartFailure(const SiteNode& start) {
    // Only a start page that got no reply at all: the host is unknown or refused. A page that
    // answered with an error status is a finding of the crawl, shown in the tree like any other.
    const bool unreachable = start.state == NODE_ERROR && start.httpStatus == 0;
    if (!unreachable) {
        m_toldFailures.remove(&start);
        return;
    }
    if (m_toldFailures.contains(&start))
        return;
    m_toldFailures.insert(&start);
    // Not waited for: the engine's idle step is what called, and other sites may be running.
    auto* box =
        new QMessageBox(QMessageBox::Warning, QStringLiteral("Lurvik Error"),
                        QStringLiteral("Cannot fetch the start page %1: %2")
                            .arg(QString::fromStdString(start.url.text()), fromStr(start.title.view())),
                        QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("startFailure"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::updateCommands() {
    SiteTreeModel::Item* sel = selectedItem();
    SiteTreeModel::Item* root = m_treeModel->root();
    bool hasSites = !root->children.empty();
    bool running = m_actions[CmdStop]->isEnabled();
    bool topLevel = m_treeModel->isTopLevelSite(sel);
    m_actions[CmdSaveMap]->setEnabled(sel == root ? hasSites : topLevel && !running);
    for (int id : {CmdRemoveAll, CmdExpandAll, CmdCollapseAll})
        m_actions[id]->setEnabled(hasSites);
    m_actions[CmdRemoveSite]->setEnabled(topLevel);
    m_actions[CmdReloadSite]->setEnabled(topLevel);
}

void MainWindow::retrievalStarted() {
    m_actions[CmdStop]->setEnabled(true);
    if (std::string note = m_app.pool.agentsWaitingNote(); !note.empty())
        statusBar()->showMessage(QString::fromStdString(note), 10000);
    updateCommands();
}

void MainWindow::refreshPane() {
    m_linkModel->statusesChanged();
    // The page's own change may have come before its source reached the cache.
    if (m_viewMode == CmdHtmlSource && m_sourcePane->noticeShown())
        loadSource(selectedItem());
}

void MainWindow::retrievalEnded() {
    // What the rendered pages' requests came back with is the status of those links.
    if (m_app.renderer) {
        for (const auto& [key, result] : m_app.renderer->requestResults())
            m_app.checkedLinks.record(key, result);
    }
    m_linkChecks->start();
    // The comparison waits for the link checks: their statuses are part of what it compares.
    if (!m_linkChecks->isRunning())
        m_schedule->finishMonitoring();
    // Stop also ends the link checks that follow a retrieval.
    m_actions[CmdStop]->setEnabled(m_linkChecks->isRunning());
    if (m_linkChecks->isRunning())
        statusBar()->showMessage(QStringLiteral("Checking links..."));
    refreshPane();
    refreshStatus();
    updateCommands();
    if (m_app.settings.doneBeep == 1)
        QApplication::beep();
}

bool MainWindow::startSite(const QString& text) {
    URL url;
    parseUserAddress(text.toStdString(), url);
    // A password in the address answers that site's challenges; the tree never shows it.
    const std::string userInfo = url.takeUserInfo();
    if (!userInfo.empty()) {
        const size_t colon = userInfo.find(':');
        m_app.pool.giveSiteCredentials(credentialSite(url), Str(userInfo.substr(0, colon)),
                                       Str(colon == std::string::npos ? "" : userInfo.substr(colon + 1)));
    }
    SiteTreeModel::Item* item = m_treeModel->startSite(url);
    m_app.busyLoop->check();
    updateCommands();
    return item != nullptr;
}

void MainWindow::sitesChanged() {
    refreshStatus();
    updateCommands();
    if (selectedItem() == m_treeModel->root())
        fillPane(m_treeModel->root());
}

void MainWindow::removeSite(SiteTreeModel::Item* item) {
    // The checks hold the pages whose links they judge.
    m_linkChecks->stop();
    withWaitCursor([&] { m_treeModel->removeSite(item); });
    // A new site may come to use a removed one's memory.
    m_toldFailures.clear();
    for (FindWindow* window : m_findCommands->findWindows())
        window->dropRemovedPages();
}

void MainWindow::openLocation() {
    OpenLocationDialog dialog(m_app.settings, this);
    if (dialog.exec() == QDialog::Accepted && !dialog.address().isEmpty())
        startSiteOrSayWhy(dialog.address());
}

void MainWindow::startSiteOrSayWhy(const QString& text) {
    if (startSite(text))
        return;
    URL url;
    parseUserAddress(text.trimmed().toStdString(), url);
    std::string why = whyNotStartable(text.trimmed().toStdString(), url);
    if (why.empty())
        why =
            "No retrieval can start at \"" + text.trimmed().toStdString() + "\": the page limit is reached.";
    QMessageBox::warning(this, QStringLiteral("Lurvik"), QString::fromStdString(why));
}

void MainWindow::openArgument(const QString& commandLine, bool startAddress) {
    if (isSiteMapName(commandLine)) {
        QString why;
        // Named when the program starts, the map's failure is shown without waiting for an
        // answer: the window comes up behind it either way.
        if (m_mapFiles->readMap(commandLine, why) != 0) {
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Lurvik Error"), why,
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
    } else if (startAddress)
        startSite(commandLine);
}

const LinkRecord* MainWindow::selectedLink() const {
    QModelIndex current = m_linkTable->selectionModel()->currentIndex();
    if (!current.isValid() || !m_linkTable->selectionModel()->isSelected(current))
        return nullptr;
    return m_linkModel->linkAt(current.row());
}

void MainWindow::openSelectedLink() {
    const LinkRecord* link = selectedLink();
    if (!link)
        return;
    const SiteNode* node = m_app.engine.findNode(link->url, true, false);
    if (!node) {
        SiteTreeModel::Item* sel = selectedItem();
        node = sel ? sel->node : nullptr;
    }
    Shell::openURL(QString::fromStdString(link->url.text()), node, this, m_app.settings, m_app.ratings);
}

void MainWindow::expandAll(SiteTreeModel::Item* top, bool expand) {
    if (m_expansion)
        m_expansion->cancel();
    m_expansion = expandBelow(*m_tree, *m_treeModel, top, expand, this);
}

void MainWindow::runCommand(int id) {
    QAction* action = m_actions.value(id);
    if (action && !action->isEnabled())
        return;
    SiteTreeModel::Item* sel = selectedItem();
    switch (id) {
    case CmdOpenSite:
        openLocation();
        break;
    case CmdOpenMap:
        m_mapFiles->chooseMapToOpen();
        break;
    case CmdSaveLinkAs:
        if (const LinkRecord* link = selectedLink())
            m_downloads->saveLinkAs(*link, this);
        break;
    case CmdOptions: {
        OptionsSheet sheet(m_app, this);
        connect(&sheet, &OptionsSheet::viewsChanged, this, [this] {
            applyFonts();
            if (m_treeModel->dupChildren != (m_app.settings.dupChildren != 0))
                m_treeModel->applyDupChildren(m_app.settings.dupChildren == 0);
            m_treeModel->autoExpand = m_app.settings.autoExpand != 0;
            m_treeModel->ratingsOn = m_app.ratings.ratingsOn != 0;
            m_treeModel->markPages = m_app.ratings.markPages != 0;
            m_treeModel->blockUnrated = m_app.ratings.blockUnrated != 0;
            m_tree->viewport()->update();
        });
        sheet.exec();
        break;
    }
    case CmdScheduler: {
        SchedulerDialog dialog(m_app.scheduledSites, this);
        dialog.exec();
        break;
    }
    case CmdCompareMap:
        m_mapFiles->chooseMapToCompare();
        break;
    case CmdImportWarc:
        m_mapFiles->chooseWarcsToImport();
        break;
    case CmdFind:
        m_findCommands->openFindWindow();
        break;
    case CmdFindWizard:
        m_findCommands->runFindWizard();
        break;
    case CmdGoToPage: {
        GoToPageDialog* dialog = m_findCommands->goToPageDialog();
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
        break;
    }
    case CmdSaveMap:
        m_mapFiles->saveMap();
        break;
    case CmdSaveAs:
        m_mapFiles->saveTreeAs();
        break;
    case CmdPageSetup:
        m_printer->pageSetup();
        break;
    case CmdPrint:
        m_printer->print(selectedItem());
        break;
    case CmdProperties: {
        PropertiesSheet sheet(*m_treeModel, sel, m_app.engine.typeTable, this);
        sheet.exec();
        break;
    }
    case CmdStop:
        m_linkChecks->stop();
        withWaitCursor([this] { m_treeModel->stopAll(); });
        break;
    case CmdExit:
        close();
        break;
    case CmdCopy:
        if (m_viewMode == CmdHtmlSource)
            m_source->copy();
        break;
    case CmdSelectAll:
        m_source->selectAll();
        m_source->setFocus();
        break;
    case CmdExpandAll:
        expandAll(sel, true);
        break;
    case CmdCollapseAll:
        expandAll(sel, false);
        break;
    case CmdRemoveSite:
        if (sel)
            removeSite(sel);
        break;
    case CmdRemoveAll:
        removeSite(m_treeModel->root());
        break;
    case CmdLargeIcons:
    case CmdSmallIcons:
    case CmdList:
    case CmdDetails:
    case CmdHtmlSource:
        setViewMode(id);
        break;
    case CmdSortByLink:
    case CmdSortByType:
    case CmdSortByUrl:
        m_linkModel->arrangeByColumn(id - CmdSortByLink);
        break;
    case CmdReloadSite:
        m_linkChecks->stop();
        if (sel)
            m_treeModel->reloadSite(sel);
        break;
    case CmdGetNow:
        if (sel)
            m_treeModel->getNow(sel);
        break;
    case CmdJumpToOriginal:
        if (sel && sel->node)
            selectItem(m_treeModel->itemById(sel->node->treeItems.get(0)));
        break;
    case CmdShowHtmlTags:
        m_showHtmlTags = !m_showHtmlTags;
        m_actions[CmdShowHtmlTags]->setChecked(m_showHtmlTags);
        if (sel && sel != m_treeModel->root())
            fillPane(sel);
        break;
    case CmdCopyPagePath:
        if (sel && sel->node)
            Shell::copyText(QString::fromStdString(sel->node->url.text()));
        break;
    case CmdCopyLinkPath:
        if (const LinkRecord* link = selectedLink())
            Shell::copyText(QString::fromStdString(link->url.text()));
        break;
    case CmdOpenInBrowser:
        if (sel && sel->node)
            Shell::openURL(QString::fromStdString(sel->node->url.text()), sel->node, this, m_app.settings,
                           m_app.ratings);
        break;
    case CmdOpenLink:
        openSelectedLink();
        break;
    case CmdLurvikLink:
        if (const LinkRecord* link = selectedLink())
            startSiteOrSayWhy(QString::fromStdString(link->url.text()));
        break;
    case CmdHelpTopics:
        HelpWindow::showTopic(0, this);
        break;
    case CmdFaq:
        HelpWindow::showTopic(1048, this);
        break;
    case CmdReadme:
        Shell::showReadme(nullptr);
        break;
    case CmdTechSupport:
    case CmdSuggestions:
    case CmdMailingList:
    case CmdWebSite: {
        const char* address = id == CmdTechSupport   ? kSupportMail
                              : id == CmdSuggestions ? kSuggestionMail
                              : id == CmdMailingList ? kListMail
                                                     : kWebSite;
        Shell::openURL(QString::fromLatin1(address), nullptr, this, m_app.settings, m_app.ratings);
        break;
    }
    case CmdAbout:
        QMessageBox::about(
            this, QStringLiteral("About Lurvik"),
            QStringLiteral("<b>Lurvik 1.0</b><p>Investigates web sites: retrieves a site's pages, "
                           "shows its tree, links and sources, and keeps them as site maps.</p>"));
        break;
    default:
        break;
    }
    m_app.busyLoop->check();
    updateCommands();
}

} // namespace lurvik
