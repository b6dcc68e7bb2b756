#pragma once

#include "SiteTreeModel.h"

#include <memory>

class QAbstractItemModel;
class QPrinter;
class QWidget;

namespace lurvik {

class LinkListModel;
class PrintJob;

// The main window's printing: Page Setup, the print dialog with its "Print what" tab (the last
// choice kept for the next time), and the jobs that print a page's link list or source, the
// whole tree, or a Find window's results. The frame is disabled while a job runs.
class WindowPrinter {
public:
    WindowPrinter(SiteTreeModel& tree, LinkListModel& links, QWidget* frame);

    void pageSetup();
    // The print dialog, then the job for what it chose of selected.
    void print(SiteTreeModel::Item* selected);
    // Prints printWhat (a PrintWhat) of selected to printer; the job runs on from the event loop.
    // Null when there is nothing to print.
    PrintJob* startPrint(int printWhat, bool includeUrls, std::unique_ptr<QPrinter> printer,
                         SiteTreeModel::Item* selected);
    // A Find window's results; owner stays disabled while the job runs. Null when there are none.
    PrintJob* printFindResults(const QAbstractItemModel& results, QWidget* owner,
                               std::unique_ptr<QPrinter> printer);

private:
    SiteTreeModel& m_tree;
    LinkListModel& m_links;
    QWidget* m_frame;
    int m_lastPrintWhat = 0;
    bool m_lastIncludeUrls = false;
};

} // namespace lurvik
