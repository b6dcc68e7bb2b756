#pragma once

#include "SiteTreeModel.h"
#include "SiteTreeView.h"
#include "SlicedWork.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <memory>

class QAction;
class QLabel;
class QListView;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QStackedWidget;
class QTreeView;

namespace lurvik {

class Application;
class ContextMenus;
class FindCommands;
class MapFileCommands;
class ScheduleRunner;
class SourcePane;
class LinkDownloads;
class LinkListModel;
class URL;
class WindowPrinter;

// The program's frame: menus, toolbar, the site tree beside the link list or the page source,
// and the status bar. Every command goes through runCommand by its number. The window owns a
// helper for each of its longer jobs: site map and other files, the searches, downloads, the
// scheduled retrievals, printing, the context menus and the layout kept across runs.
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
    // Remove Site, or Remove All for the root; open Find windows drop what was found there.
    void removeSite(SiteTreeModel::Item* item);
    // Sites came or went other than through the engine's notices (a map read, an archive
    // imported): the status, the commands and the root's link list catch up.
    void sitesChanged();
    // Enables the commands that depend on the selection, the sites shown and a running retrieval.
    void updateCommands();

    LinkDownloads& downloads() const { return *m_downloads; }
    MapFileCommands& mapFiles() const { return *m_mapFiles; }
    FindCommands& findCommands() const { return *m_findCommands; }
    WindowPrinter& printer() const { return *m_printer; }
    ScheduleRunner& schedule() const { return *m_schedule; }

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

    // Expand All or Collapse All while it runs; null otherwise.
    SlicedWork* expansion() const { return m_expansion; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createViews();
    void applyFonts();

    void selectionChanged();
    void fillPane(SiteTreeModel::Item* item);
    void loadSource(SiteTreeModel::Item* item);
    void setViewMode(int command);
    void refreshStatus();
    void setInfoText(const QString& text);
    void retrievalStarted();
    void retrievalEnded();
    void itemChanged(SiteTreeModel::Item* item);
    // A message box, once, when a site's start page could not be reached.
    void tellStartFailure(const class SiteNode& start);
    // Shows the selected page's link statuses and source as they are now.
    void refreshPane();
    void updateSortIndicator();

    void openSelectedLink();
    void expandAll(SiteTreeModel::Item* item, bool expand);
    void openLocation();
    const class LinkRecord* selectedLink() const;

    Application& m_app;
    QHash<int, QAction*> m_actions;
    SiteTreeModel* m_treeModel;
    LinkListModel* m_linkModel;
    std::unique_ptr<LinkDownloads> m_downloads;
    SiteTreeView* m_tree = nullptr;
    QTreeView* m_linkTable = nullptr;
    QListView* m_linkIcons = nullptr;
    QPlainTextEdit* m_source = nullptr;
    SourcePane* m_sourcePane = nullptr;
    QStackedWidget* m_pane = nullptr;
    class LinkFilterBar* m_filterBar = nullptr;
    class LinkCheckLoop* m_linkChecks = nullptr;
    class WindowCheckpoints* m_checkpoints = nullptr;
    std::unique_ptr<ScheduleRunner> m_schedule;
    class WindowLayout* m_layout = nullptr;
    QLabel* m_statusUrl = nullptr;
    QLabel* m_statusInfo = nullptr;
    QProgressBar* m_progress = nullptr;
    QString m_lastStatusText;
    QString m_lastTitleText;
    QTimer m_statusDelay;
    QTimer m_paneRefresh;
    int m_viewMode = 0;
    bool m_showHtmlTags = true;
    bool m_shutDown = false;
    QPointer<SlicedWork> m_expansion;
    std::unique_ptr<WindowPrinter> m_printer;
    std::unique_ptr<FindCommands> m_findCommands;
    std::unique_ptr<ContextMenus> m_contextMenus;
    // Made once the checkpoints it offers to take up exist.
    std::unique_ptr<MapFileCommands> m_mapFiles;
    QSet<const class SiteNode*> m_toldFailures;
};

} // namespace lurvik
