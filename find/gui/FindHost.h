#pragma once

#include <QIcon>

class QAbstractItemModel;
#include <QString>

class QAbstractItemModel;
class QWidget;

#include <functional>

namespace lurvik {

class AgentPool;
class LinkRecord;
class SiteEngine;
class SiteNode;
class URL;

// What a Find window or the Find Wizard needs from the program around it. Find sits below the
// main window, so the main window hands these over instead of being called by name. Any
// callback may be empty: the command it serves then does nothing.
struct FindHost {
    SiteEngine* engine = nullptr; // null: every search ends at once with nothing found
    AgentPool* pool = nullptr;
    // The ratings setting "Show unrated pages as violated pages".
    int showUnratedAsViolated = 0;
    // The "AutoLaunch" setting: a saved results file is opened at once.
    int autoLaunch = 0;

    // The link list's image list, by LinkRecord::iconIndex.
    std::function<QIcon(int index)> linkIcon;
    // Opens an address in the browser, mail or news program, node being the page it leads to or
    // the page it was found on (null: none), for the ratings to judge.
    std::function<void(const QString& text, const SiteNode* node)> openURL;
    // Opens a saved file the way the desktop opens its type.
    std::function<void(const QString& fileName)> openFile;
    // Selects the page at url in the site tree; false when the tree shows no such page.
    std::function<bool(const URL& url)> selectPage;
    // Brings the main window forward with its site tree focused.
    std::function<void()> focusTree;
    // Saves a result's target to a file; empty while the program cannot download.
    std::function<void(const LinkRecord& record, QWidget* owner)> saveLink;
    // A main-window command by its number (Page Setup, the help commands).
    std::function<void(int command)> runCommand;
    // Prints a results list (the print dialog offering "Find Results" only), owner being the
    // window to keep disabled while the job runs.
    std::function<void(const QAbstractItemModel& results, QWidget* owner)> printResults;
    // Opens the help at a topic by its context number.
    std::function<void(int context)> showHelp;
};

} // namespace lurvik
