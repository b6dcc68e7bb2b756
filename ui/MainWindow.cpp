#include "MainWindow.h"

#include "Application.h"
#include "BusyLoop.h"
#include "Commands.h"
#include "CompareMapsWindow.h"
#include "GoToPage.h"
#include "GoToPageDialog.h"
#include "HelpWindow.h"
#include "HtmlHighlighter.h"
#include "Icons.h"
#include "LinkCheckLoop.h"
#include "LinkFilterBar.h"
#include "LinkListModel.h"
#include "OpenLocationDialog.h"
#include "OptionsSheet.h"
#include "PasswordDialog.h"
#include "PrintEntries.h"
#include "PrintJob.h"
#include "PropertiesSheet.h"
#include "SaveSiteMapDialog.h"
#include "SchedulerDialog.h"
#include "Shell.h"
#include "SiteMonitor.h"
#include "SiteTreeItems.h"
#include "SiteTreeView.h"
#include "SlicedWork.h"
#include "SourcePane.h"
#include "SourceText.h"
#include "TreeExpansion.h"
#include "UserAddress.h"
#include "ViewFonts.h"
#include "WindowCheckpoints.h"
#include "WindowPrinter.h"
#include "analysis/gui/RowsCsv.h"
#include "find/gui/FindHost.h"
#include "find/gui/FindWindow.h"
#include "find/gui/FindWizard.h"
#include "platform/gui/QtText.h"
#include "retrieval/LinkStatus.h"
#include "retrieval/WarcImport.h"
#include "retrieval/gui/DownloadWindow.h"
#include "sitemap/SiteMapFile.h"
#include "sitemap/TreeHtml5Export.h"
#include "sitemap/TreeHtmlExport.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include <cstring>

namespace lurvik {

namespace {

const QString kProgramStatus = QStringLiteral("Lurvik 1.0");
constexpr int kStatusRefreshMs = 100;
// Below this many pages a site map's tree is built before the window answers again (a fraction of
// a second); from it on, a slice at a time with a progress window.
constexpr size_t kPagesShownAtOnce = 20000;

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
      m_linkModel(new LinkListModel(this)),
      m_printer(std::make_unique<WindowPrinter>(*m_treeModel, *m_linkModel, this)) {
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

    // Scheduled retrievals are looked at twice a minute; one due site starts per look.
    auto* scheduleTimer = new QTimer(this);
    connect(scheduleTimer, &QTimer::timeout, this, &MainWindow::checkSchedule);
    scheduleTimer->start(30000);

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
    m_monitor = std::make_unique<SiteMonitor>(app);
    m_checkpoints = new WindowCheckpoints(app, this);
    connect(app.busyLoop, &BusyLoop::retrievalStarted, m_checkpoints, &WindowCheckpoints::retrievalStarted);
    connect(app.busyLoop, &BusyLoop::retrievalEnded, m_checkpoints, &WindowCheckpoints::retrievalEnded);
    m_linkChecks = new LinkCheckLoop(app, this);
    connect(m_linkChecks, &LinkCheckLoop::progressed, this, &MainWindow::refreshPane);
    connect(m_linkChecks, &LinkCheckLoop::finished, this, [this] {
        finishMonitoring();
        m_actions[CmdStop]->setEnabled(m_app.busyLoop->isBusy());
        statusBar()->showMessage(QStringLiteral("Checked %1 links (%2 broken)")
                                     .arg(m_app.checkedLinks.checkedCount())
                                     .arg(m_app.checkedLinks.failedCount()),
                                 10000);
    });

    applyFonts();
    restoreWindowSettings();
    setViewMode(CmdDetails);
    selectItem(m_treeModel->root());
    updateCommands();
}

MainWindow::~MainWindow() {
    m_linkChecks->stop();
    closeFindWindows();
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
    connect(m_tree, &QWidget::customContextMenuRequested, this, &MainWindow::treeContextMenu);

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
        connect(view, &QWidget::customContextMenuRequested, this, &MainWindow::listContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, [this] {
            if (selectedLink())
                runCommand(CmdOpenLink);
        });
    }

    m_sourcePane = new SourcePane(m_app.pool, this);
    m_source = m_sourcePane->editor();
    connect(m_source, &QWidget::customContextMenuRequested, this, &MainWindow::sourceContextMenu);
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

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->addWidget(m_tree);
    m_splitter->addWidget(right);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->installEventFilter(this);
    connect(m_splitter, &QSplitter::splitterMoved, this, [this](int position) {
        int total = m_splitter->width() - m_splitter->handleWidth();
        if (total > 0)
            m_treeShare = std::clamp(double(position) / total, 0.05, 0.9);
    });
    setCentralWidget(m_splitter);
}

void MainWindow::applyFonts() {
    const Settings& s = m_app.settings;
    m_tree->setFont(viewFont(s, ViewFont::Tree));
    m_linkTable->setFont(viewFont(s, ViewFont::List));
    m_linkIcons->setFont(viewFont(s, ViewFont::List));
    m_source->setFont(viewFont(s, ViewFont::Html));
}

void MainWindow::restoreWindowSettings() {
    const Settings& s = m_app.settings;
    if (s.mainRight > s.mainLeft && s.mainBottom > s.mainTop) {
        setGeometry(s.mainLeft, s.mainTop, s.mainRight - s.mainLeft, s.mainBottom - s.mainTop);
    } else if (QScreen* shown = screen()) {
        // A first window sized for the screen it opens on, not for the displays of long ago.
        QRect available = shown->availableGeometry();
        QSize size(available.width() * 2 / 3, available.height() * 2 / 3);
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
    }
    if (s.mainMaximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    if (s.treeWidth >= 1 && s.treeWidth <= 2999 && s.paneWidth > s.treeWidth)
        m_treeShare = double(s.treeWidth) / s.paneWidth;
    else if (s.treeWidth >= 1 && s.treeWidth <= 2999 && width() > s.treeWidth)
        m_treeShare = double(s.treeWidth) / width();
    m_treeShare = std::clamp(m_treeShare, 0.05, 0.9);
    keepTreeShare();
    // First widths from the texts the columns hold most ("Html (SSI) Page", "outside limits"),
    // in the font the list uses, so no first look shows them cut.
    const QFontMetrics metrics = m_linkTable->fontMetrics();
    const int padding = 2 * metrics.averageCharWidth() + 8;
    m_linkTable->setColumnWidth(LinkListModel::ColumnLink,
                                s.linkWidth ? s.linkWidth : 28 * metrics.averageCharWidth());
    m_linkTable->setColumnWidth(
        LinkListModel::ColumnType,
        s.typeWidth ? s.typeWidth : metrics.horizontalAdvance(QStringLiteral("Html (SSI) Page")) + padding);
    m_linkTable->setColumnWidth(LinkListModel::ColumnStatus,
                                s.statusWidth
                                    ? s.statusWidth
                                    : metrics.horizontalAdvance(QStringLiteral("outside limits")) + padding);
    m_linkTable->setColumnWidth(LinkListModel::ColumnUrl, s.urlWidth ? s.urlWidth : 200);
}

void MainWindow::keepTreeShare() {
    int total = m_splitter->width() - m_splitter->handleWidth();
    if (total <= 0)
        return;
    int tree = std::max(1, static_cast<int>(total * m_treeShare + 0.5));
    m_splitter->setSizes({tree, std::max(1, total - tree)});
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The splitter hands all new width to the list by itself; the tree keeps its share instead.
    if (watched == m_splitter && event->type() == QEvent::Resize)
        keepTreeShare();
    // A button's status tip would otherwise stay after the pointer has gone elsewhere.
    else if (event->type() == QEvent::Leave && qobject_cast<QToolButton*>(watched))
        statusBar()->clearMessage();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::storeWindowSettings() {
    Settings& s = m_app.settings;
    QRect frame = isMaximized() || isFullScreen() ? normalGeometry() : geometry();
    s.mainLeft = frame.left();
    s.mainTop = frame.top();
    s.mainRight = frame.left() + frame.width();
    s.mainBottom = frame.top() + frame.height();
    s.mainMaximized = isMaximized() ? 1 : 0;
    s.treeWidth = m_splitter->sizes().value(0);
    s.paneWidth = m_splitter->width() - m_splitter->handleWidth();
    s.linkWidth = m_linkTable->columnWidth(LinkListModel::ColumnLink);
    s.typeWidth = m_linkTable->columnWidth(LinkListModel::ColumnType);
    s.urlWidth = m_linkTable->columnWidth(LinkListModel::ColumnUrl);
    s.statusWidth = m_linkTable->columnWidth(LinkListModel::ColumnStatus);
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
    closeFindWindows();
    if (!m_shutDown) {
        m_shutDown = true;
        storeWindowSettings();
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

FindHost MainWindow::findHost() {
    FindHost host;
    host.engine = &m_app.engine;
    host.pool = &m_app.pool;
    host.showUnratedAsViolated = m_app.ratings.blockUnrated;
    host.autoLaunch = m_app.settings.autoLaunch;
    host.linkIcon = [](int index) { return Icons::linkIcon(index); };
    host.openURL = [this](const QString& text, const SiteNode* node) {
        Shell::openURL(text, node, this, m_app.settings, m_app.ratings);
    };
    host.openFile = [this](const QString& name) {
        Shell::openURL(QUrl::fromLocalFile(name).toString(), nullptr, this, m_app.settings, m_app.ratings);
    };
    host.selectPage = [this](const URL& url) { return selectPageByURL(url); };
    host.focusTree = [this] {
        activateWindow();
        raise();
        m_tree->setFocus();
    };
    host.runCommand = [this](int id) { runCommand(id); };
    host.showHelp = [this](int context) { HelpWindow::showTopic(context, this); };
    host.saveLink = [this](const LinkRecord& record, QWidget* owner) { saveLinkAs(record, owner); };
    host.printResults = [this](const QAbstractItemModel& results, QWidget* owner) {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        QPrintDialog dialog(printer.get(), owner);
        dialog.setOptionTabs({new PrintWhatPanel(true)});
        if (dialog.exec() == QDialog::Accepted)
            printFindResults(results, owner, std::move(printer));
    };
    return host;
}

FindWindow* MainWindow::openFindWindow() {
    // Top-level with no owner, like every Find window: each may be moved behind the main window.
    auto* window = new FindWindow(findHost());
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_findWindows.removeIf([](const QPointer<FindWindow>& open) { return open.isNull(); });
    m_findWindows.append(window);
    window->show();
    placeBeside(window);
    return window;
}

void MainWindow::placeBeside(FindWindow* window) const {
    // Beside the main window where the screen has room, else over its right edge; the window as
    // it will be once it shows results stays wholly on the screen, its frame included.
    const QRect screen = this->screen()->availableGeometry();
    const QRect main = frameGeometry();
    const QSize frame = window->frameGeometry().size() - window->size();
    window->resize(std::min(std::max(window->width(), 640), screen.width() - frame.width()),
                   window->height());
    const QSize size(window->width() + frame.width(),
                     std::min(window->height() + window->resultsHeight() + frame.height(), screen.height()));
    int x = main.right() + 1;
    if (x + size.width() > screen.right() + 1)
        x = main.left() - size.width() >= screen.left() ? main.left() - size.width()
                                                        : screen.right() + 1 - size.width();
    const int y = std::clamp(main.top(), screen.top(), screen.bottom() + 1 - size.height());
    window->move(std::max(x, screen.left()), y);
}

bool MainWindow::goToPage(const QString& text, bool matchCase, bool wholeWord, bool down) {
    SiteTreeModel::Item* found =
        findPageTitle(*m_treeModel, selectedItem(), text, matchCase, wholeWord, down);
    if (!found) {
        QApplication::beep();
        return false;
    }
    selectItem(found);
    return true;
}

GoToPageDialog* MainWindow::goToPageDialog() {
    if (!m_goToPage) {
        m_goToPage = new GoToPageDialog(this);
        connect(m_goToPage, &GoToPageDialog::nextPage, this, [this] {
            goToPage(m_goToPage->textBox()->text(), m_goToPage->matchCase(), m_goToPage->wholeWord(),
                     m_goToPage->down());
        });
    }
    return m_goToPage;
}

void MainWindow::runFindWizard() {
    FindWindow* opened = nullptr;
    FindWizard wizard(
        findHost(),
        [this, &opened](const FindCriteria& criteria, bool contentAnswered) {
            opened = openFindWindow();
            opened->takeOverCriteria(criteria, contentAnswered);
        },
        this);
    wizard.exec();
    // The wizard gives the focus back to the window its answers opened.
    if (opened) {
        opened->raise();
        opened->activateWindow();
    }
}

QList<FindWindow*> MainWindow::findWindows() const {
    QList<FindWindow*> open;
    for (const QPointer<FindWindow>& window : m_findWindows)
        if (window)
            open.append(window);
    return open;
}

void MainWindow::closeFindWindows() {
    for (FindWindow* window : findWindows()) {
        window->close();
        delete window;
    }
    m_findWindows.clear();
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
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Lurvik Error"),
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

void MainWindow::finishMonitoring() {
    if (!m_monitor->isWatching())
        return;
    const SiteMonitor::Outcome outcome = m_monitor->finish();
    statusBar()->showMessage(outcome.text, 30000);
    // Nobody may be at the screen when a schedule runs: the box waits without holding anything up.
    auto* box = new QMessageBox(outcome.failed || outcome.broken > 0 ? QMessageBox::Warning
                                                                     : QMessageBox::Information,
                                QStringLiteral("Lurvik"), outcome.text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("scheduledComparison"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!outcome.page.isEmpty()) {
        QPushButton* show = box->addButton(QStringLiteral("&Show changes"), QMessageBox::ActionRole);
        const QString page = outcome.page;
        connect(show, &QPushButton::clicked, this, [this, page] {
            Shell::openURL(QUrl::fromLocalFile(page).toString(), nullptr, this, m_app.settings,
                           m_app.ratings);
        });
    }
    box->open();
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
        finishMonitoring();
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

void MainWindow::withWaitCursor(const std::function<void()>& work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    work();
    QApplication::restoreOverrideCursor();
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

DownloadWindow* MainWindow::startDownload(const URL& url, const QString& fileName) {
    auto download = std::make_unique<Download>(m_app.pool, url, fileName.toStdString());
    if (download->start() != 0)
        return nullptr;
    auto* window = new DownloadWindow(std::move(download));
    window->show();
    return window;
}

void MainWindow::saveLinkAs(const LinkRecord& link, QWidget* owner) {
    Str name(link.url.getFilename());
    QString fileName = QFileDialog::getSaveFileName(owner, QStringLiteral("Save As"), fromStr(name));
    if (fileName.isEmpty())
        return;
    if (!startDownload(link.url, fileName))
        QMessageBox::warning(owner, QStringLiteral("Lurvik Error"),
                             QStringLiteral("Cannot create %1.").arg(QDir::toNativeSeparators(fileName)));
}

bool MainWindow::checkSchedule() {
    auto start = [this](const std::string& address, bool compare) {
        if (compare)
            m_monitor->watch(address);
        if (!startSite(QString::fromStdString(address)))
            m_monitor->cancel();
    };
    return m_app.scheduledSites.checkSchedule(m_app.engine.isBusy(), start);
}

int MainWindow::importWarc(const QStringList& files) {
    // The archive stands in for the network: pages a running retrieval still waits for would be
    // looked for in it.
    if (m_app.engine.isBusy()) {
        QMessageBox::warning(this, QStringLiteral("Lurvik"),
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
        m_treeModel->startSite(start);
        withWaitCursor([&] { archive.run(start, true, nullptr); });
    }
    for (const WarcImport::Problem& problem : archive.problems())
        problems << QStringLiteral("%1: offset %2: %3")
                        .arg(QString::fromStdString(problem.file))
                        .arg(problem.offset)
                        .arg(QString::fromStdString(problem.text));
    if (!problems.isEmpty()) {
        result = 1;
        QMessageBox::warning(this, QStringLiteral("Lurvik"),
                             QStringLiteral("Some of the archive could not be read:\n") +
                                 problems.mid(0, 20).join('\n'));
    }
    refreshStatus();
    updateCommands();
    return result;
}

int MainWindow::openMap(const QString& fileName) {
    QString why;
    const int result = readMap(fileName, why);
    if (result != 0)
        QMessageBox::warning(this, QStringLiteral("Lurvik Error"), why);
    return result;
}

void MainWindow::showMapPages(std::vector<SiteNode*> pages) {
    const std::vector<SiteTreeModel::Item*> before = m_treeModel->root()->children;
    const size_t total = std::max<size_t>(1, pages.size());
    auto shown = std::make_shared<size_t>(0);
    std::function<bool()> step = m_treeModel->mapPagesStep(std::move(pages));
    m_mapFill = new SlicedWork(
        this, QStringLiteral("Opening the site map..."),
        [step, shown] {
            ++*shown;
            return step();
        },
        [shown, total] { return int(std::min<size_t>(99, *shown * 100 / total)); });
    // Shown at once: the window modal to it keeps the user from a tree still being built.
    m_mapFill->setQuietTime(0);
    connect(m_mapFill, &SlicedWork::finished, this, [this, step, before](bool completed) {
        if (!completed) {
            // Cancel leaves the window as it was before the map: the rest is shown at once (the
            // tree must hold every page for Remove to find it), then the map's sites go.
            while (step()) {
            }
            std::vector<SiteTreeModel::Item*> added;
            for (SiteTreeModel::Item* site : m_treeModel->root()->children)
                if (std::find(before.begin(), before.end(), site) == before.end())
                    added.push_back(site);
            for (SiteTreeModel::Item* site : added)
                removeSite(site);
        }
        refreshStatus();
        updateCommands();
        if (selectedItem() == m_treeModel->root())
            fillPane(m_treeModel->root());
    });
    m_mapFill->start();
}

CompareMapsWindow* MainWindow::compareWithMap(const QString& fileName) {
    auto* window = new CompareMapsWindow(m_app, fileName, this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->loaded()) {
        QMessageBox::warning(this, QStringLiteral("Lurvik Error"), window->errorText());
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

void MainWindow::offerUnfinishedRetrieval() {
    m_checkpoints->offerLeftOver(
        [this](const QString& fileName, QString& why) { return readMap(fileName, why); });
}

bool MainWindow::askToContinue(size_t pages) {
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("Lurvik"),
        QStringLiteral("This site map holds a retrieval that did not finish: %1 page(s) were still to "
                       "be retrieved.\nContinue retrieval?")
            .arg(pages),
        QMessageBox::NoButton, this);
    box.setObjectName(QStringLiteral("continueRetrieval"));
    QPushButton* goOn = box.addButton(QStringLiteral("&Continue retrieval"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("&Open as it is"), QMessageBox::RejectRole);
    box.setDefaultButton(goOn);
    box.exec();
    return box.clickedButton() == static_cast<QAbstractButton*>(goOn);
}

int MainWindow::readMap(const QString& fileName, QString& why) {
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
        withWaitCursor([&] { m_treeModel->addMapPages(loaded); });
    if (loaded.size() >= kPagesShownAtOnce)
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
    refreshStatus();
    updateCommands();
    if (selectedItem() == m_treeModel->root())
        fillPane(m_treeModel->root());
    return result;
}

void MainWindow::removeSite(SiteTreeModel::Item* item) {
    // The checks hold the pages whose links they judge.
    m_linkChecks->stop();
    withWaitCursor([&] { m_treeModel->removeSite(item); });
    // A new site may come to use a removed one's memory.
    m_toldFailures.clear();
    for (FindWindow* window : findWindows())
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
        if (readMap(commandLine, why) != 0) {
            auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Lurvik Error"), why,
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        }
    } else if (startAddress)
        startSite(commandLine);
}

void MainWindow::chooseMapToOpen() {
    static QString lastName;
    QFileDialog dialog(this, QStringLiteral("Open Site Map"), lastName,
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

void MainWindow::saveMap() {
    SiteTreeModel::Item* sel = selectedItem();
    if (!sel)
        return;
    SaveSiteMapDialog dialog(m_app.engine, this);
    dialog.setRoot(sel == m_treeModel->root() ? nullptr : sel->node, sel != nullptr);
    dialog.setCheckedLinks(checkedLinksOf(m_app.checkedLinks));
    dialog.exec();
}

void MainWindow::saveTreeAs() {
    // The first form is the described layout other tools read; the second is a page for people.
    const QString described = QStringLiteral("HTML Files (*.htm *.html)");
    const QString html5 = QStringLiteral("Web page (HTML5) (*.html)");
    QString filter;
    QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save As"), QString(),
                                                    described + QStringLiteral(";;") + html5, &filter);
    if (fileName.isEmpty())
        return;
    const TreeForm form = filter == html5 ? TreeForm::Html5 : TreeForm::Described;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += form == TreeForm::Html5 ? QStringLiteral(".html") : QStringLiteral(".htm");
    SiteTreeModel::Item* sel = selectedItem();
    if (exportTree(fileName, sel ? sel : m_treeModel->root(), form) == 0 && m_app.settings.autoLaunch == 1)
        Shell::openURL(QUrl::fromLocalFile(fileName).toString(), nullptr, this, m_app.settings,
                       m_app.ratings);
}

int MainWindow::exportTree(const QString& fileName, SiteTreeModel::Item* start, TreeForm form) {
    SiteTreeItems items(*m_treeModel);
    Str error;
    int result = 0;
    withWaitCursor([&] {
        result = form == TreeForm::Html5 ? exportTreeHtml5(fileName.toStdString(), items, start, &error)
                                         : exportTreeHtml(fileName.toStdString(), items, start, &error);
    });
    if (result != 0)
        QMessageBox::warning(this, QStringLiteral("Lurvik Error"), fromStr(error));
    return result;
}

void MainWindow::saveLinkListCsv() {
    QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save List as CSV"), QString(),
                                                    QStringLiteral("CSV (*.csv)"));
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".csv");
    QString error;
    if (saveRowsAsCsv(*m_linkModel, fileName, error) != 0)
        QMessageBox::warning(
            this, QStringLiteral("Lurvik Error"),
            QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(fileName), error));
}

PrintJob* MainWindow::startPrint(int printWhat, bool includeUrls, std::unique_ptr<QPrinter> printer) {
    return m_printer->startPrint(printWhat, includeUrls, std::move(printer), selectedItem());
}

PrintJob* MainWindow::printFindResults(const QAbstractItemModel& results, QWidget* owner,
                                       std::unique_ptr<QPrinter> printer) {
    return m_printer->printFindResults(results, owner, std::move(printer));
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
        chooseMapToOpen();
        break;
    case CmdSaveLinkAs:
        if (const LinkRecord* link = selectedLink())
            saveLinkAs(*link, this);
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
    case CmdCompareMap: {
        const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Compare with Map"), QString(),
                                                          QStringLiteral("Site maps (*.web)"));
        if (!file.isEmpty())
            compareWithMap(file);
        break;
    }
    case CmdImportWarc: {
        QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("Import WARC"), QString(),
                                                          QStringLiteral("WARC archives (*.warc *.warc.gz)"));
        if (!files.isEmpty())
            importWarc(files);
        break;
    }
    case CmdFind:
        openFindWindow();
        break;
    case CmdFindWizard:
        runFindWizard();
        break;
    case CmdGoToPage:
        goToPageDialog()->show();
        goToPageDialog()->raise();
        goToPageDialog()->activateWindow();
        break;
    case CmdSaveMap:
        saveMap();
        break;
    case CmdSaveAs:
        saveTreeAs();
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

void MainWindow::treeContextMenu(const QPoint& at) {
    QModelIndex index = m_tree->indexAt(at);
    SiteTreeModel::Item* item = m_treeModel->itemAt(index);
    if (!item)
        return;
    selectItem(item);
    updateCommands();
    QMenu menu(this);
    auto entry = [&](int id, bool enabled, const char* text = nullptr) {
        const CommandInfo* info = findCommand(id);
        QAction* a = menu.addAction(QString::fromLatin1(text ? text : info->menuText));
        a->setEnabled(enabled && info->available);
        a->setStatusTip(QString::fromLatin1(info->helpText));
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
        return a;
    };
    bool running = m_actions[CmdStop]->isEnabled();
    bool hasChildren = !item->children.empty();
    if (item == m_treeModel->root()) {
        entry(CmdOpenSite, true);
        entry(CmdOpenMap, true);
        entry(CmdSaveMap, hasChildren);
        entry(CmdSaveAs, true);
        menu.addSeparator();
        entry(CmdRemoveAll, hasChildren);
        menu.addSeparator();
        entry(CmdExpandAll, hasChildren);
        entry(CmdCollapseAll, hasChildren);
        menu.addSeparator();
        entry(CmdOptions, true);
        menu.addSeparator();
        entry(CmdProperties, true);
    } else {
        bool topLevel = m_treeModel->isTopLevelSite(item);
        int state = item->node ? item->node->state.load() : 0;
        entry(CmdOpenInBrowser, true);
        entry(CmdSaveMap, topLevel && !running);
        entry(CmdSaveAs, true);
        menu.addSeparator();
        entry(CmdCopyPagePath, true);
        menu.addSeparator();
        entry(CmdRemoveSite, topLevel);
        entry(CmdReloadSite, topLevel && (state == NODE_ERROR || state == NODE_DONE), "Rel&oad Site");
        menu.addSeparator();
        entry(CmdExpandAll, hasChildren);
        entry(CmdCollapseAll, hasChildren);
        menu.addSeparator();
        if (state == NODE_WAITING)
            entry(CmdGetNow, true);
        else
            entry(CmdGetNow, false, "Get Now!");
        if (state == NODE_DONE)
            entry(CmdJumpToOriginal, !m_treeModel->isPrimary(item));
        menu.addSeparator();
        entry(CmdProperties, true);
    }
    menu.exec(m_tree->viewport()->mapToGlobal(at));
}

void MainWindow::listContextMenu(const QPoint& at) {
    auto* view = qobject_cast<QAbstractItemView*>(sender());
    if (!view || !view->indexAt(at).isValid())
        return;
    const LinkRecord* link = m_linkModel->linkAt(view->indexAt(at).row());
    if (!link)
        return;
    m_linkTable->selectionModel()->setCurrentIndex(m_linkModel->index(view->indexAt(at).row(), 0),
                                                   QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    QMenu menu(this);
    auto entry = [&](int id, const QString& text, bool enabled) {
        const CommandInfo* info = findCommand(id);
        QAction* a = menu.addAction(text);
        a->setEnabled(enabled && info->available);
        a->setStatusTip(QString::fromLatin1(info->helpText));
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
        return a;
    };
    int kind = link->effectiveKind();
    QAction* open = kind == LINK_MAIL ? entry(CmdOpenLink, QStringLiteral("Send &mail to..."), true)
                    : kind == LINK_NEWS
                        ? entry(CmdOpenLink, QStringLiteral("Open &news reader..."), true)
                        : entry(CmdOpenLink, QStringLiteral("&Open in browser..."), link->url.getType() != 0);
    menu.setDefaultAction(open);
    SiteTreeModel::Item* sel = selectedItem();
    bool lurvikable = sel == m_treeModel->root() ||
                      (kind == LINK_HTTP && sel && sel->node && !link->url.sameDomain(sel->node->url));
    entry(CmdLurvikLink, QStringLiteral("&Lurvik link"), lurvikable);
    menu.addSeparator();
    entry(CmdCopyLinkPath, QStringLiteral("&Copy link path"), true);
    Str type;
    link->typeName(type);
    if (kind == LINK_IMAGE)
        entry(CmdSaveLinkAs, QStringLiteral("&Save image as..."), true);
    else if (kind == LINK_HTTP || kind == LINK_IMAGEMAP)
        entry(CmdSaveLinkAs, QStringLiteral("&Save link as..."), type.nicmp("CGI", 3) != 0);
    else
        entry(CmdSaveLinkAs, QStringLiteral("&Save link as..."), false);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Save list as CS&V..."), this, &MainWindow::saveLinkListCsv);
    menu.exec(view->viewport()->mapToGlobal(at));
}

void MainWindow::sourceContextMenu(const QPoint& at) {
    QMenu menu(this);
    menu.addAction(m_actions[CmdCopy]);
    menu.addAction(m_actions[CmdSelectAll]);
    menu.addSeparator();
    menu.addAction(m_actions[CmdShowHtmlTags]);
    menu.exec(m_source->mapToGlobal(at));
}

} // namespace lurvik
