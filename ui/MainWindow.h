#pragma once

#include "SiteTreeModel.h"
#include "SiteTreeView.h"
#include "SlicedWork.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QPrinter>
#include <QSet>
#include <QTimer>

#include <memory>

class QAbstractItemModel;
class QAction;
class QLabel;
class QListView;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSplitter;
class QStackedWidget;
class QTreeView;

namespace lurvik {

class Application;
class FindWindow;
class GoToPageDialog;
class SourcePane;
class LinkListModel;
class URL;
struct FindHost;

// The program's frame: menus, toolbar, the site tree beside the link list or the page source,
// and the status bar. Every command goes through runCommand by its number.
class PrintJob;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Application& app, QWidget* parent = nullptr);
    ~MainWindow() override;

    void runCommand(int id);
    QAction* action(int id) const { return m_actions.value(id); }

    // Starts text as a new top-level site; false when it is not an address of an HTML page.
    bool startSite(const QString& text);
    // As startSite, telling the user in a message box why nothing started.
    void startSiteOrSayWhy(const QString& text);
    // What the program was started with: a site map (".web"), reported when it cannot be read
    // without waiting for the answer, or, when startAddress, an address to retrieve.
    void openArgument(const QString& commandLine, bool startAddress);
    // At start-up: a retrieval the last run left unfinished is offered to be opened (and then
    // continued) or discarded.
    void offerUnfinishedRetrieval();
    // Loads a site map with a wait cursor; the map's result code, any failure told in a message
    // box that names the file and the reason.
    int openMap(const QString& fileName);
    // Shows what changed from the map to the sites on screen; null (after saying why) when the
    // map cannot be read.
    class CompareMapsWindow* compareWithMap(const QString& fileName);
    // Saves url's target to fileName in a download window of its own; null when the file cannot
    // be created.
    class DownloadWindow* startDownload(const URL& url, const QString& fileName);
    // The scheduled retrievals' due check: starts one due site when no retrieval runs.
    bool checkSchedule();
    // Builds a site from the responses archived in WARC files; 0, or 1 after saying what went wrong.
    int importWarc(const QStringList& files);
    // Writes the tree below start (the root for the whole tree) as a web page, in the described
    // layout or as an HTML5 page to hand over; 0 when written, else 1 after telling the user why.
    enum class TreeForm { Described, Html5 };
    int exportTree(const QString& fileName, SiteTreeModel::Item* start, TreeForm form = TreeForm::Described);
    // Prints printWhat (a PrintWhat) of the selection to printer; the job runs on from the event
    // loop. Null when there is nothing to print.
    PrintJob* startPrint(int printWhat, bool includeUrls, std::unique_ptr<QPrinter> printer);
    // Prints a Find window's results to printer; owner stays disabled while the job runs. Null
    // when there is nothing to print.
    PrintJob* printFindResults(const QAbstractItemModel& results, QWidget* owner,
                               std::unique_ptr<QPrinter> printer);

    SiteTreeModel* treeModel() const { return m_treeModel; }
    LinkListModel* linkModel() const { return m_linkModel; }
    SiteTreeView* treeView() const { return m_tree; }
    QTreeView* linkView() const { return m_linkTable; }
    class LinkFilterBar* linkFilter() const {
        return m_filterBar;
    }
    QPlainTextEdit* sourceView() const { return m_source; }
    SourcePane* sourcePane() const { return m_sourcePane; }
    QString statusUrlText() const;
    QString statusInfoText() const;
    SiteTreeModel::Item* selectedItem() const;
    void selectItem(SiteTreeModel::Item* item);
    // Selects the tree item that first showed the finished page at url; false when there is none.
    bool selectPageByURL(const URL& url);

    // A new Find window, shown; it deletes itself when closed.
    FindWindow* openFindWindow();
    // Go To Page's "Next Page": selects the next page whose title holds text, or sounds "Default"
    // and returns false when there is none.
    bool goToPage(const QString& text, bool matchCase, bool wholeWord, bool down);
    // The Go To Page dialog, made by its first use.
    GoToPageDialog* goToPageDialog();
    // Runs the Find Wizard; its Finish opens a Find window that searches at once.
    void runFindWizard();
    // The Find windows still open, oldest first.
    QList<FindWindow*> findWindows() const;
    // Expand All or Collapse All while it runs; null otherwise.
    SlicedWork* expansion() const { return m_expansion; }
    // The showing of a big site map's pages while it runs; null otherwise.
    SlicedWork* mapFill() const { return m_mapFill; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createViews();
    void applyFonts();
    void restoreWindowSettings();
    void storeWindowSettings();
    void keepTreeShare();

    void selectionChanged();
    void fillPane(SiteTreeModel::Item* item);
    void loadSource(SiteTreeModel::Item* item);
    void setViewMode(int command);
    void refreshStatus();
    void setInfoText(const QString& text);
    void updateCommands();
    void retrievalStarted();
    void retrievalEnded();
    // A scheduled retrieval that compares has ended: the comparison is made, kept and told.
    void finishMonitoring();
    void itemChanged(SiteTreeModel::Item* item);
    // A message box, once, when a site's start page could not be reached.
    void tellStartFailure(const class SiteNode& start);
    // Shows the selected page's link statuses and source as they are now.
    void refreshPane();
    void updateSortIndicator();

    void treeContextMenu(const QPoint& at);
    void listContextMenu(const QPoint& at);
    void sourceContextMenu(const QPoint& at);
    void openSelectedLink();
    void expandAll(SiteTreeModel::Item* item, bool expand);
    void openLocation();
    // openMap without the message box: why says what failed.
    int readMap(const QString& fileName, QString& why);
    // Asks whether a map's unfinished retrieval should go on; true for yes.
    bool askToContinue(size_t pages);
    void showMapPages(std::vector<class SiteNode*> pages);
    // Remove Site, or Remove All for the root; open Find windows drop what was found there.
    void removeSite(SiteTreeModel::Item* item);
    void chooseMapToOpen();
    void saveMap();
    void saveTreeAs();
    void saveLinkListCsv();
    void saveLinkAs(const class LinkRecord& link, QWidget* owner);
    void withWaitCursor(const std::function<void()>& work);
    FindHost findHost();
    // Find windows search the engine on threads of their own: they go before the engine does.
    void closeFindWindows();
    void placeBeside(FindWindow* window) const;
    const class LinkRecord* selectedLink() const;

    Application& m_app;
    QHash<int, QAction*> m_actions;
    SiteTreeModel* m_treeModel;
    LinkListModel* m_linkModel;
    SiteTreeView* m_tree = nullptr;
    QTreeView* m_linkTable = nullptr;
    QListView* m_linkIcons = nullptr;
    QPlainTextEdit* m_source = nullptr;
    SourcePane* m_sourcePane = nullptr;
    QStackedWidget* m_pane = nullptr;
    class LinkFilterBar* m_filterBar = nullptr;
    class LinkCheckLoop* m_linkChecks = nullptr;
    class WindowCheckpoints* m_checkpoints = nullptr;
    std::unique_ptr<class SiteMonitor> m_monitor;
    QSplitter* m_splitter = nullptr;
    QLabel* m_statusUrl = nullptr;
    QLabel* m_statusInfo = nullptr;
    QProgressBar* m_progress = nullptr;
    QString m_lastStatusText;
    QString m_lastTitleText;
    QTimer m_statusDelay;
    QTimer m_paneRefresh;
    // The tree's part of the splitter's width, kept as the window changes size.
    double m_treeShare = 0.3;
    int m_viewMode = 0;
    bool m_showHtmlTags = true;
    bool m_shutDown = false;
    QList<QPointer<FindWindow>> m_findWindows;
    GoToPageDialog* m_goToPage = nullptr;
    QPointer<SlicedWork> m_expansion;
    QPointer<SlicedWork> m_mapFill;
    std::unique_ptr<class WindowPrinter> m_printer;
    QSet<const class SiteNode*> m_toldFailures;
};

} // namespace lurvik
