#pragma once

#include "SiteTreeModel.h"

#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <vector>

namespace lurvik {

class Application;
class CompareMapsWindow;
class MainWindow;
class SiteNode;
class SlicedWork;
class WindowCheckpoints;

// The main window's files: site maps opened, compared and saved, the tree exported as a web page,
// the link list saved as CSV, WARC archives imported. Owned by the window, whose message boxes and
// dialogs these are; a failure is told to the user before a function returns its code.
class MapFileCommands {
public:
    MapFileCommands(Application& app, MainWindow& window, WindowCheckpoints& checkpoints);

    // Loads a site map with a wait cursor; the map's result code, any failure told in a message
    // box that names the file and the reason.
    int openMap(const QString& fileName);
    // openMap without the message box: why says what failed.
    int readMap(const QString& fileName, QString& why);
    // At start-up: a retrieval the last run left unfinished is offered to be opened (and then
    // continued) or discarded.
    void offerUnfinishedRetrieval();
    // Shows what changed from the map to the sites on screen; null (after saying why) when the
    // map cannot be read.
    CompareMapsWindow* compareWithMap(const QString& fileName);
    // Builds a site from the responses archived in WARC files; 0, or 1 after saying what went wrong.
    int importWarc(const QStringList& files);
    // Writes the tree below start (the root for the whole tree) as a web page, in the described
    // layout or as an HTML5 page to hand over; 0 when written, else 1 after telling the user why.
    enum class TreeForm { Described, Html5 };
    int exportTree(const QString& fileName, SiteTreeModel::Item* start, TreeForm form = TreeForm::Described);

    // The File menu's commands, each asking for its file first.
    void chooseMapToOpen();
    void chooseMapToCompare();
    void chooseWarcsToImport();
    void saveMap();
    void saveTreeAs();
    void saveLinkListCsv();

    // The showing of a big site map's pages while it runs; null otherwise.
    SlicedWork* mapFill() const { return m_mapFill; }

private:
    // Asks whether a map's unfinished retrieval should go on; true for yes.
    bool askToContinue(size_t pages);
    void showMapPages(std::vector<SiteNode*> pages);

    Application& m_app;
    MainWindow& m_window;
    SiteTreeModel& m_treeModel;
    WindowCheckpoints& m_checkpoints;
    QPointer<SlicedWork> m_mapFill;
};

} // namespace lurvik
