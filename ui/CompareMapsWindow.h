#pragma once

#include "sitemap/MapComparison.h"

#include <QDialog>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace lurvik {

class Application;

// File > Compare with Map...: what changed from a saved map (the older crawl) to the site on
// screen, as the command line's diff lists it, in a list with a filter (text in the address or
// what was said, and the kind of change) that saves as a web page or CSV.
class CompareMapsWindow : public QDialog {
    Q_OBJECT
public:
    // Reads mapFile and compares; loaded() says whether that worked, and why not in errorText().
    CompareMapsWindow(Application& app, const QString& mapFile, QWidget* parent);

    bool loaded() const { return m_loaded; }
    const QString& errorText() const { return m_errorText; }
    const std::vector<MapChange>& changes() const { return m_changes; }
    // The rows the filter lets through.
    int shownRows() const;
    QLineEdit* filterText() const { return m_filter; }
    QComboBox* filterKind() const { return m_kind; }
    // 0, or 1 with the reason in errorText(); by the file's extension, ".csv" or a web page.
    int saveTo(const QString& fileName);

private:
    void compare(Application& app);
    void fillRows();
    void applyFilter();
    void chooseFileAndSave();

    QString m_mapFile;
    bool m_loaded = false;
    QString m_errorText;
    std::vector<MapChange> m_changes;
    QStandardItemModel* m_rows;
    QSortFilterProxyModel* m_shown;
    QTableView* m_list;
    QLineEdit* m_filter;
    QComboBox* m_kind;
    QLabel* m_summary;
};

} // namespace lurvik
