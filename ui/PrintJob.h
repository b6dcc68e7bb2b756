#pragma once

#include <QMarginsF>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <vector>

class QDialog;
class QLabel;
class QPainter;
class QPrinter;
class QTimer;
class QWidget;

namespace lurvik {

// One printed entry: a line of source or of the tree (one column, indented by depth), or a row of
// a link list (three columns: name, type, address). Long texts wrap.
struct PrintEntry {
    QStringList columns;
    int depth = 0;
};

// The page margins of every job, in thousandths of an inch, kept in the settings.
QMarginsF loadPageMargins();
void savePageMargins(const QMarginsF& margins);

// One print job, painted a page per turn of the event loop so the window stays alive: a header
// on every page (the document name, "Page n of m", the subtitle and a rule), then the entries.
// While it runs a "Printing..." box offers Cancel, and the frame is disabled. A cancelled job to
// a PDF file leaves no file behind. The job deletes itself when it ends.
class PrintJob : public QObject {
    Q_OBJECT
public:
    PrintJob(std::unique_ptr<QPrinter> printer, QString documentName, QString subtitle,
             std::vector<PrintEntry> entries, QWidget* frame);
    ~PrintJob() override;

    // Nothing is printed when there are no entries; the job then ends at once.
    void start();
    void cancel();
    // 0 until every entry is measured.
    int pageCount() const { return m_pageCount; }
    QDialog* printingBox() const { return m_box; }

signals:
    // completed is false when the job was cancelled or the printer failed.
    void finished(bool completed);

private:
    void startLayout();
    // Measures entries for one slice of the event loop's time.
    void measureSome();
    void nextStep();
    void printNextPage();
    void end(bool completed);
    int entryLines(const PrintEntry& entry) const;
    void drawEntry(const PrintEntry& entry, int lines, int top);

    std::unique_ptr<QPrinter> m_printer;
    std::unique_ptr<QPainter> m_painter;
    QString m_documentName;
    QString m_subtitle;
    std::vector<PrintEntry> m_entries;
    std::vector<int> m_entryLines; // lines each entry takes once wrapped
    QPointer<QWidget> m_frame;
    QDialog* m_box = nullptr;
    QLabel* m_progress = nullptr;
    QTimer* m_timer = nullptr;
    int m_lineHeight = 0;
    int m_textHeight = 0;
    int m_linesPerPage = 0;
    int m_pageCount = 0;
    int m_lineCount = 0;
    int m_page = 0;
    size_t m_next = 0;
};

} // namespace lurvik
