#pragma once

#include "FindHost.h"
#include "find/FindEngine.h"
#include "find/SearchHistory.h"

#include <QHash>
#include <QMainWindow>
#include <QTimer>

#include <memory>

class QAction;
class QLabel;
class QListView;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeView;

namespace lurvik {

class CriteriaTabs;
class ResultsModel;

// The Find window's command numbers: each names a menu item and its status-bar help.
enum FindCommand {
    FindCmdOpenCriteria = 40134,
    FindCmdSaveCriteria = 40135,
    FindCmdSaveHtml = 40127,
    FindCmdFindNow = 40096,
    FindCmdStop = 40097,
    FindCmdNewSearch = 40098,
    FindCmdPageSetup = 40119,
    FindCmdPrint = 40053,
    FindCmdClose = 40051,
    FindCmdCopyLinkPath = 40087,
    FindCmdLargeIcons = 40089,
    FindCmdSmallIcons = 40090,
    FindCmdList = 40091,
    FindCmdDetail = 40092,
    FindCmdSortByLink = 40095,
    FindCmdSortByType = 40099,
    FindCmdSortByUrl = 40100,
    FindCmdContents = 40002,
    FindCmdFaq = 40125,
    FindCmdWhatsThis = 40081,
};

// "Find: Objects": criteria on five tab pages, a search of the retrieved site on a thread of its
// own, and the results it finds. Any number may be open at once, each with its own criteria,
// search and results. The window grows a results list and a status bar at its first search.
//
// The search posts counts to the window; rows are added in batches from the event loop, so a
// search that finds a hundred thousand objects never holds the window up.
class FindWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit FindWindow(const FindHost& host, QWidget* parent = nullptr);
    ~FindWindow() override;

    // Takes over criteria that the wizard built and searches with them at once. The content list
    // follows them only when loadContent is true (the wizard's content page was answered).
    void takeOverCriteria(const FindCriteria& criteria, bool loadContent);

    // Find Now: ignored while a search runs.
    void startSearch();
    enum class StopMode { ShowAll, Discard };
    // Ignored unless a search runs; waits for the search thread to end.
    void stopSearch(StopMode mode);
    // Asks first; false when the user cancelled.
    bool newSearch();
    // Writes the rows as the list shows them, rows still waiting to be shown added first; 0 or 1
    // as exportResultsHtml returns.
    int exportResultsHtml(const QString& fileName);
    // The described layout, the HTML5 page or CSV of the rows as the list shows them; 0 or 1.
    enum class ResultsForm { Described, Html5, Csv };
    int exportResults(const QString& fileName, ResultsForm form);
    // Loads a criteria file into the controls; 0, or 1 with nothing changed.
    int openCriteria(const QString& fileName);
    // Saves the controls' criteria as the save dialog does; the name is taken as given.
    int saveCriteria(const QString& fileName, const QString& author, const QString& description);

    // After sites were removed from the tree: a running search stops, and the results found on
    // pages the engine no longer has leave the list, which would otherwise lead nowhere.
    void dropRemovedPages();

    void runCommand(int id);
    // The selected result's context actions: open it in the browser (or mail, news program), and
    // select its page in the site tree, which minimises this window (a beep when the tree has none).
    void openRecord();
    void jumpToRecord();
    QAction* action(int id) const { return m_actions.value(id); }
    CriteriaTabs* tabs() const { return m_tabs; }
    ResultsModel* results() const { return m_model; }
    QTreeView* resultsView() const { return m_details; }
    bool isSearching() const { return m_searching; }
    // The rows that the search has found but the list does not show yet.
    int rowsPending() const;
    QString statusText() const;
    QString countText() const;
    // What the window grows by when it first shows results.
    int resultsHeight() const;
    // The criteria of the last search, as built from the controls when it started.
    const FindCriteria& criteria() const { return m_engine.criteria; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createMenus();
    void createResultsArea();
    void showResultsUpTo(int count);
    void addPendingRows();
    void fitColumns();
    void setSearchingState(bool searching);
    void setViewMode(int command);
    void sortByColumn(int column, bool flip);
    void resultsContextMenu(const QPoint& at);
    const LinkRecord* selectedRecord() const;
    const SiteNode* nodeForRecord(const LinkRecord& record) const;
    void copyRecordPath();
    void chooseCriteriaToOpen();
    void chooseCriteriaToSave();
    void chooseHtmlFile();

    FindHost m_host;
    FindEngine m_engine;
    SearchHistory m_history{"FindText"};
    QHash<int, QAction*> m_actions;
    CriteriaTabs* m_tabs;
    QPushButton* m_findNow;
    QPushButton* m_stop;
    QPushButton* m_newSearch;
    QProgressBar* m_animation;
    ResultsModel* m_model;
    QStackedWidget* m_resultsArea = nullptr;
    QTreeView* m_details = nullptr;
    QListView* m_icons = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_count = nullptr;
    QTimer m_batchTimer;
    int m_viewMode = 1;
    int m_sortColumn = -1;
    int m_sortDescending = 0;
    int m_shownCount = 0;
    int m_postedCount = 0;
    int m_searchTag = 0;
    bool m_searching = false;
    int m_openingHeight = 0;
};

} // namespace lurvik
