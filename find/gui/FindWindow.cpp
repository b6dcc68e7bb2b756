#include "FindWindow.h"

#include "CriteriaTabs.h"
#include "PostedMessage.h"
#include "ResultsModel.h"
#include "SaveCriteriaDialog.h"
#include "analysis/gui/RowsCsv.h"
#include "find/FoundLink.h"
#include "find/ResultsExport.h"
#include "find/ResultsHtml5Export.h"
#include "platform/gui/QtText.h"
#include "platform/gui/WaitCursor.h"
#include "retrieval/SiteEngine.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

namespace lurvik {

namespace {

const QString kTitle = QStringLiteral("Find: Objects");

// The address of the page a result was found on; empty for a page. The model's rows are all the
// search's own results.
std::string_view pageOf(const LinkRecord& record) {
    return static_cast<const FoundLink&>(record).pageURL.view();
}

// The engine reports every few seconds for a window that adds each reported row at once; this
// window adds rows in batches from its event loop, so it asks for counts often and unpaced.
constexpr int kReportIntervalMs = 20;
// Rows added per turn of the event loop, and the time one turn may spend on them.
constexpr int kBatchRows = 2000;
constexpr auto kBatchTime = std::chrono::milliseconds(8);

struct MenuEntry {
    int id;
    const char* text;
    const char* shortcut;
    const char* help;
};

constexpr MenuEntry kMenuEntries[] = {
    {FindCmdOpenCriteria, "&Open Find Criteria...", "", "Open Find Criteria"},
    {FindCmdSaveCriteria, "&Save Find Criteria...", "", "Save Find Criteria"},
    {FindCmdSaveHtml, "Save as &HTML...", "", "Save this result set as HTML file"},
    {FindCmdFindNow, "F&ind Now", "Alt+I", "Start a search using the displayed criteria"},
    {FindCmdStop, "S&top", "Alt+T", "Stop find that is currently being run"},
    {FindCmdNewSearch, "Ne&w Search", "Alt+W", "Clear the current criteria and search results"},
    {FindCmdPageSetup, "Page Set&up", "", "Page Setup"},
    {FindCmdPrint, "&Print...", "", "Print the current results from this Find session"},
    {FindCmdClose, "&Close", "Alt+F4", "Close this Find session"},
    {FindCmdCopyLinkPath, "&Copy Link Path", "", "Copy selection to the clipboard"},
    {FindCmdLargeIcons, "Lar&ge Icons", "", "Display items by using large icons"},
    {FindCmdSmallIcons, "S&mall Icons", "", "Display items by using small icons"},
    {FindCmdList, "&List", "", "Display items in a list"},
    {FindCmdDetail, "&Detail", "", "Display information about each item in the window"},
    {FindCmdSortByLink, "by &Link", "", "Sort items by link name"},
    {FindCmdSortByType, "by &Type", "", "Sort items by URL type"},
    {FindCmdSortByUrl, "by &URL", "", "Sort items by URL name"},
    {FindCmdContents, "&Contents", "", "Displays the help table of contents"},
    {FindCmdFaq, "&FAQ", "", "Check out the most Frequently Asked Questions"},
    {FindCmdWhatsThis, "What's this?", "", "What's this?"},
};

QString urlText(const URL& url) {
    Str text;
    url.getURLString(text, 1);
    return fromStr(text);
}

} // namespace

FindWindow::FindWindow(const FindHost& host, QWidget* parent)
    : QMainWindow(parent), m_host(host), m_engine(host.engine, *host.pool),
      m_tabs(new CriteriaTabs(m_host, this)), m_findNow(new QPushButton(QStringLiteral("F&ind Now"), this)),
      m_stop(new QPushButton(QStringLiteral("S&top"), this)),
      m_newSearch(new QPushButton(QStringLiteral("Ne&w Search"), this)), m_animation(new QProgressBar(this)),
      m_model(new ResultsModel(this)) {
    setWindowTitle(kTitle);
    setObjectName(QStringLiteral("FindWindow"));
    if (m_host.linkIcon)
        setWindowIcon(m_host.linkIcon(4));
    m_engine.showUnratedAsViolated = m_host.showUnratedAsViolated;
    m_engine.pacing.reportIntervalMs = kReportIntervalMs;
    m_engine.pacing.paceBursts = false;
    m_engine.pacing.firstResultAtOnce = true;
    m_model->linkIcon = m_host.linkIcon;

    m_findNow->setObjectName(QStringLiteral("findNow"));
    m_stop->setObjectName(QStringLiteral("stop"));
    m_newSearch->setObjectName(QStringLiteral("newSearch"));
    m_animation->setObjectName(QStringLiteral("animation"));
    m_animation->setTextVisible(false);
    m_animation->setFixedSize(80, 12);
    m_animation->setRange(0, 1);
    m_stop->setEnabled(false);
    connect(m_findNow, &QPushButton::clicked, this, [this] { runCommand(FindCmdFindNow); });
    connect(m_stop, &QPushButton::clicked, this, [this] { runCommand(FindCmdStop); });
    connect(m_newSearch, &QPushButton::clicked, this, [this] { runCommand(FindCmdNewSearch); });

    auto* central = new QWidget(this);
    auto* top = new QHBoxLayout;
    top->addWidget(m_tabs, 1);
    auto* buttons = new QVBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(m_findNow), static_cast<QWidget*>(m_stop),
                       static_cast<QWidget*>(m_newSearch)})
        buttons->addWidget(w);
    buttons->addSpacing(12);
    buttons->addWidget(m_animation, 0, Qt::AlignHCenter);
    buttons->addStretch();
    top->addLayout(buttons);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(top);
    setCentralWidget(central);

    createActions();
    createMenus();
    m_history.load();
    m_tabs->setHistory(m_history.texts());
    m_tabs->resetControls();

    m_batchTimer.setInterval(0);
    connect(&m_batchTimer, &QTimer::timeout, this, &FindWindow::addPendingRows);

    adjustSize();
    m_openingHeight = height();
    setMinimumSize(width(), m_openingHeight);
    m_tabs->searchTextBox()->setFocus();
}

FindWindow::~FindWindow() {
    // The search thread posts to this window: it must end before the window goes.
    m_engine.stopSearch();
    m_model->clear();
}

void FindWindow::createActions() {
    for (const MenuEntry& entry : kMenuEntries) {
        QString text = QString::fromLatin1(entry.text);
        if (*entry.shortcut)
            text += QLatin1Char('\t') + QString::fromLatin1(entry.shortcut);
        auto* action = new QAction(text, this);
        action->setObjectName(QStringLiteral("cmd%1").arg(entry.id));
        action->setStatusTip(QString::fromLatin1(entry.help));
        int id = entry.id;
        connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
        m_actions.insert(id, action);
    }
    auto* views = new QActionGroup(this);
    for (int id : {FindCmdLargeIcons, FindCmdSmallIcons, FindCmdList, FindCmdDetail}) {
        m_actions[id]->setCheckable(true);
        views->addAction(m_actions[id]);
    }
    m_actions[FindCmdDetail]->setChecked(true);
    for (int id : {FindCmdStop, FindCmdSaveHtml, FindCmdPrint, FindCmdCopyLinkPath})
        m_actions[id]->setEnabled(false);
    m_actions[FindCmdPageSetup]->setEnabled(bool(m_host.runCommand));
}

void FindWindow::createMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions[id]);
        }
    };
    add(menuBar()->addMenu(QStringLiteral("&File")),
        {FindCmdOpenCriteria, FindCmdSaveCriteria, FindCmdSaveHtml, 0, FindCmdFindNow, FindCmdStop,
         FindCmdNewSearch, 0, FindCmdPageSetup, FindCmdPrint, 0, FindCmdClose});
    add(menuBar()->addMenu(QStringLiteral("&Edit")), {FindCmdCopyLinkPath});
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    add(view, {FindCmdLargeIcons, FindCmdSmallIcons, FindCmdList, FindCmdDetail, 0});
    add(view->addMenu(QStringLiteral("Arrange &Icons")),
        {FindCmdSortByLink, FindCmdSortByType, FindCmdSortByUrl});
    add(menuBar()->addMenu(QStringLiteral("&Help")), {FindCmdContents, FindCmdFaq, 0, FindCmdWhatsThis});
}

void FindWindow::createResultsArea() {
    m_details = new QTreeView(this);
    m_details->setObjectName(QStringLiteral("results"));
    m_details->setModel(m_model);
    m_details->setRootIsDecorated(false);
    // Uniform rows let the view take a hundred thousand rows without measuring each.
    m_details->setUniformRowHeights(true);
    m_details->setSelectionMode(QAbstractItemView::SingleSelection);
    m_details->setContextMenuPolicy(Qt::CustomContextMenu);
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setStretchLastSection(false);
    m_details->setColumnWidth(0, 220);
    m_details->setColumnWidth(1, 65);
    m_details->setColumnWidth(2, 520);
    connect(m_details->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { sortByColumn(column, true); });

    m_icons = new QListView(this);
    m_icons->setObjectName(QStringLiteral("resultIcons"));
    m_icons->setModel(m_model);
    m_icons->setSelectionModel(m_details->selectionModel());
    m_icons->setContextMenuPolicy(Qt::CustomContextMenu);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setUniformItemSizes(true);
    for (QAbstractItemView* view :
         {static_cast<QAbstractItemView*>(m_details), static_cast<QAbstractItemView*>(m_icons)}) {
        connect(view, &QWidget::customContextMenuRequested, this, &FindWindow::resultsContextMenu);
        connect(view, &QAbstractItemView::doubleClicked, this, &FindWindow::openRecord);
        connect(view, &QAbstractItemView::pressed, this,
                [this] { m_actions[FindCmdCopyLinkPath]->setEnabled(true); });
        view->installEventFilter(this);
    }

    m_resultsArea = new QStackedWidget(this);
    m_resultsArea->addWidget(m_details);
    m_resultsArea->addWidget(m_icons);
    // The results list takes every pixel the window gains; the tab pages keep their height.
    static_cast<QVBoxLayout*>(centralWidget()->layout())->addWidget(m_resultsArea, 1);
    static constexpr int kCommands[] = {FindCmdLargeIcons, FindCmdDetail, FindCmdSmallIcons, FindCmdList};
    setViewMode(kCommands[m_viewMode]);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusText"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("countText"));
    m_count->setMinimumWidth(250);
    statusBar()->addWidget(m_status, 1);
    statusBar()->addPermanentWidget(m_count);
    statusBar()->show();
    // Grown within the screen: a window whose bottom is off-screen hides its status line.
    int room = height() + resultsHeight();
    if (QScreen* shown = screen()) {
        const QRect available = shown->availableGeometry();
        room = std::min(room, available.bottom() + 1 - frameGeometry().top() -
                                  (frameGeometry().height() - height()));
    }
    resize(width(), std::max(room, height()));
}

int FindWindow::resultsHeight() const {
    // Twenty rows of results below the heading, and the status bar: fewer and a search that finds
    // a few dozen objects is read through a slot.
    const int row = std::max(fontMetrics().height(), 16) + 4;
    return 22 * row + statusBar()->sizeHint().height();
}

bool FindWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        // The menu that runs the command takes the focus on its way.
        if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason)
            m_actions[FindCmdCopyLinkPath]->setEnabled(false);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool FindWindow::event(QEvent* event) {
    if (event->type() != PostedMessage::type())
        return QMainWindow::event(event);
    auto* message = static_cast<PostedMessage*>(event);
    if (message->tag != m_searchTag || !m_searching)
        return true;
    if (message->message == WM_FIND_RESULTS)
        showResultsUpTo(message->wParam);
    else if (message->message == WM_FIND_DONE)
        stopSearch(StopMode::ShowAll);
    return true;
}

void FindWindow::closeEvent(QCloseEvent* event) {
    stopSearch(StopMode::Discard);
    m_batchTimer.stop();
    m_model->clear();
    m_engine.clearResults();
    event->accept();
}

void FindWindow::takeOverCriteria(const FindCriteria& criteria, bool loadContent) {
    m_tabs->loadControls(criteria, loadContent);
    startSearch();
}

void FindWindow::startSearch() {
    if (m_searching)
        return;
    m_searching = true;
    QString text = m_tabs->searchTextBox()->currentText();
    if (!text.isEmpty()) {
        m_history.add(toStr(text));
        m_tabs->setHistory(m_history.texts());
        m_tabs->searchTextBox()->setEditText(text);
    }
    setSearchingState(true);
    m_sortColumn = -1;
    m_sortDescending = 0;
    if (!m_resultsArea)
        createResultsArea();
    m_batchTimer.stop();
    m_model->clear();
    m_details->header()->setSortIndicatorShown(false);
    m_status->setText(QStringLiteral("Searching..."));
    m_count->clear();
    setWindowTitle(QStringLiteral("Find: Searching..."));

    m_tabs->buildCriteria(m_engine.criteria);
    m_shownCount = 0;
    m_postedCount = 0;
    int tag = ++m_searchTag;
    m_engine.post = [this, tag](int message, int wParam) {
        QCoreApplication::postEvent(this, new PostedMessage(message, wParam, tag));
    };
    m_animation->setRange(0, 0);
    m_stop->setFocus();
    if (m_engine.startSearch() != 0)
        stopSearch(StopMode::Discard);
    // Writing the settings file waits for the disk, which the search need not wait for.
    if (!text.isEmpty())
        m_history.save();
}

void FindWindow::setSearchingState(bool searching) {
    m_stop->setEnabled(searching);
    m_findNow->setEnabled(!searching);
    m_actions[FindCmdStop]->setEnabled(searching);
    m_actions[FindCmdFindNow]->setEnabled(!searching);
    m_actions[FindCmdSaveHtml]->setEnabled(!searching);
}

void FindWindow::showResultsUpTo(int count) {
    m_postedCount = std::max(m_postedCount, std::min(count, m_engine.resultCount()));
    if (m_shownCount < m_postedCount && !m_batchTimer.isActive())
        m_batchTimer.start();
}

void FindWindow::addPendingRows() {
    auto start = std::chrono::steady_clock::now();
    while (m_shownCount < m_postedCount) {
        int end = std::min(m_postedCount, m_shownCount + kBatchRows);
        std::vector<const LinkRecord*> rows;
        rows.reserve(end - m_shownCount);
        for (int i = m_shownCount; i < end; ++i)
            rows.push_back(m_engine.result(i));
        const bool first = m_shownCount == 0;
        m_model->append(rows);
        m_shownCount = end;
        if (first)
            fitColumns();
        if (std::chrono::steady_clock::now() - start > kBatchTime)
            return;
    }
    m_batchTimer.stop();
}

void FindWindow::fitColumns() {
    // Wide enough for the first rows' names and types ("Html Page" whole), within a limit past
    // which the text is elided and the tooltip tells the rest.
    if (!m_details)
        return;
    const int limits[] = {420, 220};
    for (int column = 0; column < 2; ++column) {
        const int before = m_details->columnWidth(column);
        m_details->resizeColumnToContents(column);
        m_details->setColumnWidth(column, std::clamp(m_details->columnWidth(column), before, limits[column]));
    }
}

int FindWindow::rowsPending() const {
    return m_postedCount - m_shownCount;
}

void FindWindow::stopSearch(StopMode mode) {
    if (!m_searching)
        return;
    setSearchingState(false);
    m_findNow->setFocus();
    m_animation->setRange(0, 1);
    m_animation->setValue(0);
    m_engine.stopSearch();
    int found = m_engine.resultCount();
    if (mode == StopMode::ShowAll) {
        showResultsUpTo(found);
    } else {
        m_batchTimer.stop();
        m_model->clear();
        m_engine.clearResults();
        m_shownCount = m_postedCount = found = 0;
    }
    m_actions[FindCmdPrint]->setEnabled(found > 0 && m_host.printResults);
    m_status->setText(QStringLiteral("Search complete"));
    m_count->setText(QStringLiteral("%1 item(s) found").arg(found));
    setWindowTitle(QStringLiteral("Find: %1 - [%2]").arg(m_tabs->typeList()->currentText(), m_count->text()));
    m_searching = false;
}

void FindWindow::dropRemovedPages() {
    if (!m_host.engine)
        return;
    stopSearch(StopMode::ShowAll);
    while (rowsPending() > 0)
        addPendingRows();
    const SiteEngine& engine = *m_host.engine;
    m_model->keepOnly([&engine](const LinkRecord& record) {
        const URL page(pageOf(record).empty() ? record.url : URL(pageOf(record)));
        return engine.findNode(page, true, false) != nullptr;
    });
    if (!m_count)
        return;
    const int found = m_model->rowCount();
    m_actions[FindCmdPrint]->setEnabled(found > 0 && m_host.printResults);
    m_count->setText(QStringLiteral("%1 item(s) found").arg(found));
    setWindowTitle(QStringLiteral("Find: %1 - [%2]").arg(m_tabs->typeList()->currentText(), m_count->text()));
}

bool FindWindow::newSearch() {
    QMessageBox box(QMessageBox::Information, kTitle, QStringLiteral("This will clear your current search."),
                    QMessageBox::Ok | QMessageBox::Cancel, this);
    if (box.exec() != QMessageBox::Ok)
        return false;
    stopSearch(StopMode::Discard);
    m_batchTimer.stop();
    m_model->clear();
    m_engine.clearResults();
    m_shownCount = m_postedCount = 0;
    m_tabs->resetControls();
    if (m_resultsArea) {
        delete m_resultsArea;
        m_resultsArea = nullptr;
        m_details = nullptr;
        m_icons = nullptr;
        delete m_status;
        delete m_count;
        m_status = m_count = nullptr;
        statusBar()->hide();
        resize(width(), m_openingHeight);
    }
    for (int id : {FindCmdSaveHtml, FindCmdPrint, FindCmdCopyLinkPath})
        m_actions[id]->setEnabled(false);
    setWindowTitle(kTitle);
    return true;
}

QString FindWindow::statusText() const {
    return m_status ? m_status->text() : QString();
}

QString FindWindow::countText() const {
    return m_count ? m_count->text() : QString();
}

int FindWindow::exportResultsHtml(const QString& fileName) {
    return exportResults(fileName, ResultsForm::Described);
}

int FindWindow::exportResults(const QString& fileName, ResultsForm form) {
    while (rowsPending() > 0)
        addPendingRows();
    switch (form) {
    case ResultsForm::Html5:
        return lurvik::exportResultsHtml5(m_model->records(), toStr(fileName));
    case ResultsForm::Csv: {
        QString error;
        return saveRowsAsCsv(*m_model, fileName, error);
    }
    default:
        return lurvik::exportResultsHtml(m_model->records(), toStr(fileName));
    }
}

int FindWindow::openCriteria(const QString& fileName) {
    FindCriteria loaded;
    loaded.setFileName(toStr(fileName));
    int result = 0;
    withWaitCursor([&] { result = loaded.load(); });
    if (result != 0)
        return 1;
    // The controls hold the criteria from here on: every search and save builds them afresh, and a
    // search that runs now keeps reading its own.
    m_tabs->loadControls(loaded, true);
    return 0;
}

int FindWindow::saveCriteria(const QString& fileName, const QString& author, const QString& description) {
    FindCriteria criteria;
    m_tabs->buildCriteria(criteria);
    criteria.setFileName(toStr(fileName));
    if (!author.isEmpty())
        criteria.setAuthor(toStr(author));
    if (!description.isEmpty())
        criteria.setDescription(toStr(description));
    int result = 0;
    withWaitCursor([&] { result = criteria.save(); });
    return result;
}

void FindWindow::setViewMode(int command) {
    static constexpr int kModes[] = {0, 2, 3, 1}; // by command, from Large Icons to Detail
    m_viewMode = kModes[command - FindCmdLargeIcons];
    m_actions[command]->setChecked(true);
    if (!m_resultsArea)
        return;
    if (m_viewMode == 1) {
        m_resultsArea->setCurrentWidget(m_details);
        return;
    }
    bool large = m_viewMode == 0;
    m_icons->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    m_icons->setFlow(m_viewMode == 2 ? QListView::LeftToRight : QListView::TopToBottom);
    m_icons->setWrapping(true);
    m_icons->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    m_icons->setGridSize(large ? QSize(96, 64) : QSize());
    m_resultsArea->setCurrentWidget(m_icons);
}

void FindWindow::sortByColumn(int column, bool flip) {
    if (!m_details)
        return;
    if (flip)
        m_sortDescending = column != m_sortColumn ? 0 : !m_sortDescending;
    m_sortColumn = column;
    m_model->sortRows(column, m_sortDescending);
    m_details->header()->setSortIndicatorShown(true);
    m_details->header()->setSortIndicator(column,
                                          m_sortDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

const LinkRecord* FindWindow::selectedRecord() const {
    if (!m_details)
        return nullptr;
    QModelIndex current = m_details->selectionModel()->currentIndex();
    return current.isValid() ? m_model->recordAt(current.row()) : nullptr;
}

const SiteNode* FindWindow::nodeForRecord(const LinkRecord& record) const {
    if (!m_host.engine)
        return nullptr;
    const SiteNode* node = m_host.engine->findNode(record.url, true, false);
    if (!node && !pageOf(record).empty())
        node = m_host.engine->findNode(URL(pageOf(record)), true, false);
    return node;
}

void FindWindow::openRecord() {
    const LinkRecord* record = selectedRecord();
    if (record && m_host.openURL && record->url.getType() != 0)
        m_host.openURL(urlText(record->url), nodeForRecord(*record));
}

void FindWindow::jumpToRecord() {
    const LinkRecord* record = selectedRecord();
    if (!record)
        return;
    bool found = m_host.selectPage && (m_host.selectPage(record->url) ||
                                       (!pageOf(*record).empty() && m_host.selectPage(URL(pageOf(*record)))));
    if (!found) {
        QApplication::beep();
        return;
    }
    showMinimized();
    if (m_host.focusTree)
        m_host.focusTree();
}

void FindWindow::copyRecordPath() {
    if (const LinkRecord* record = selectedRecord())
        QGuiApplication::clipboard()->setText(urlText(record->url));
}

void FindWindow::resultsContextMenu(const QPoint& at) {
    auto* view = qobject_cast<QAbstractItemView*>(sender());
    QModelIndex index = view ? view->indexAt(at) : QModelIndex();
    const LinkRecord* record = m_model->recordAt(index.row());
    if (!record)
        return;
    m_details->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                            QItemSelectionModel::Rows);
    QMenu menu(this);
    int kind = record->effectiveKind();
    QAction* open = menu.addAction(kind == LINK_MAIL   ? QStringLiteral("Send &mail to...")
                                   : kind == LINK_NEWS ? QStringLiteral("Open &news reader...")
                                                       : QStringLiteral("&Open in browser..."));
    open->setEnabled(record->url.getType() != 0);
    connect(open, &QAction::triggered, this, &FindWindow::openRecord);
    menu.setDefaultAction(open);
    menu.addSeparator();
    connect(menu.addAction(QStringLiteral("&Jump to original")), &QAction::triggered, this,
            &FindWindow::jumpToRecord);
    connect(menu.addAction(QStringLiteral("&Copy link path")), &QAction::triggered, this,
            &FindWindow::copyRecordPath);
    Str type;
    record->typeName(type);
    bool saveable =
        kind == LINK_IMAGE || ((kind == LINK_HTTP || kind == LINK_IMAGEMAP) && type.nicmp("CGI", 3) != 0);
    QAction* save = menu.addAction(kind == LINK_IMAGE ? QStringLiteral("&Save image as...")
                                                      : QStringLiteral("&Save link as..."));
    save->setEnabled(saveable && m_host.saveLink);
    connect(save, &QAction::triggered, this, [this] {
        if (const LinkRecord* selected = selectedRecord())
            m_host.saveLink(*selected, this);
    });
    menu.exec(view->viewport()->mapToGlobal(at));
}

void FindWindow::chooseCriteriaToOpen() {
    // The dialog offers the last chosen name again, in every window.
    static QString lastName;
    QFileDialog dialog(this, QStringLiteral("Open Find Criteria"), lastName,
                       QStringLiteral("Lurvik Find Criteria (*.ifc)"));
    dialog.setObjectName(QStringLiteral("OpenFindCriteriaDialog"));
    dialog.setDefaultSuffix(QStringLiteral("ifc"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    QString name;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        name = lastName = dialog.selectedFiles().first();
    (void)openCriteria(name);
}

void FindWindow::chooseCriteriaToSave() {
    SaveCriteriaDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        (void)saveCriteria(dialog.fileName(), dialog.author(), dialog.description());
}

void FindWindow::chooseHtmlFile() {
    // The first form is the described layout other tools read; the others are for people.
    const QString described = QStringLiteral("HTML File (*.htm *.html)");
    const QString html5 = QStringLiteral("Web page (HTML5) (*.html)");
    const QString csv = QStringLiteral("CSV (*.csv)");
    QFileDialog dialog(this, QStringLiteral("Save as HTML..."), QString(), described);
    dialog.setNameFilters({described, html5, csv});
    dialog.setObjectName(QStringLiteral("SaveAsHtmlDialog"));
    dialog.setDefaultSuffix(QStringLiteral("htm"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csv, html5](const QString& filter) {
        dialog.setDefaultSuffix(filter == csv     ? QStringLiteral("csv")
                                : filter == html5 ? QStringLiteral("html")
                                                  : QStringLiteral("htm"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString name = dialog.selectedFiles().first();
    const QString filter = dialog.selectedNameFilter();
    const ResultsForm form = filter == csv     ? ResultsForm::Csv
                             : filter == html5 ? ResultsForm::Html5
                                               : ResultsForm::Described;
    if (exportResults(name, form) != 0) {
        QMessageBox::warning(this, kTitle,
                             QStringLiteral("Cannot write %1.").arg(QDir::toNativeSeparators(name)));
        return;
    }
    if (m_host.autoLaunch == 1 && m_host.openFile)
        m_host.openFile(name);
}

void FindWindow::runCommand(int id) {
    QAction* action = m_actions.value(id);
    if (action && !action->isEnabled())
        return;
    switch (id) {
    case FindCmdFindNow:
        startSearch();
        break;
    case FindCmdStop:
        stopSearch(StopMode::ShowAll);
        break;
    case FindCmdNewSearch:
        newSearch();
        break;
    case FindCmdClose:
        close();
        break;
    case FindCmdOpenCriteria:
        chooseCriteriaToOpen();
        break;
    case FindCmdSaveCriteria:
        chooseCriteriaToSave();
        break;
    case FindCmdSaveHtml:
        chooseHtmlFile();
        break;
    case FindCmdCopyLinkPath:
        copyRecordPath();
        break;
    case FindCmdLargeIcons:
    case FindCmdSmallIcons:
    case FindCmdList:
    case FindCmdDetail:
        setViewMode(id);
        break;
    case FindCmdSortByLink:
    case FindCmdSortByType:
    case FindCmdSortByUrl:
        sortByColumn(id == FindCmdSortByLink ? 0 : id == FindCmdSortByType ? 1 : 2, false);
        break;
    case FindCmdPrint:
        while (rowsPending() > 0)
            addPendingRows();
        m_host.printResults(*m_model, this);
        break;
    case FindCmdPageSetup:
    case FindCmdContents:
    case FindCmdFaq:
        if (m_host.runCommand)
            m_host.runCommand(id);
        break;
    default:
        break;
    }
}

} // namespace lurvik
