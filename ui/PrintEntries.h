#pragma once

#include "PrintJob.h"
#include "SiteTreeModel.h"
#include "core/Str.h"

#include <QWidget>

class QAbstractItemModel;
class QCheckBox;
class QComboBox;

namespace lurvik {

// What the print dialog's extra choice offers the main window (a Find window offers only its
// results, which print as page contents do).
enum PrintWhat { PrintPageContents = 0, PrintPageSource = 1, PrintEntireTree = 2 };

// The print dialog's own controls: "Select what you would like to print:", "Include summary
// information" (shown, with no effect) and "Include URL address in tree" (only for the tree).
class PrintWhatPanel : public QWidget {
    Q_OBJECT
public:
    PrintWhatPanel(bool findResults, QWidget* parent = nullptr);
    QComboBox* whatBox() const { return m_what; }
    QCheckBox* includeUrlsBox() const { return m_includeUrls; }
    int printWhat() const;
    bool includeUrls() const;

private:
    QComboBox* m_what;
    QCheckBox* m_summary;
    QCheckBox* m_includeUrls;
};

// A link list's rows, three columns each.
std::vector<PrintEntry> linkEntries(const QAbstractItemModel& list);
// A page's source, a line an entry.
std::vector<PrintEntry> sourceEntries(const Str& source);
// Every item of the tree in display order, expanded or not, indented by depth.
std::vector<PrintEntry> treeEntries(const SiteTreeModel& model, bool includeUrls);

} // namespace lurvik
