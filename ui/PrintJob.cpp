#include "PrintJob.h"

#include "platform/RegistryKey.h"
#include "retrieval/Settings.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lurvik {

namespace {

const std::string kPageSetupKey = std::string(kProgramKey) + "\\PageSetup";
const char* const kMarginNames[] = {"MarginLeft", "MarginTop", "MarginRight", "MarginBottom"};
// Half an inch on each side until the user chooses otherwise.
constexpr uint32_t kDefaultMargin = 500;

constexpr Qt::TextFlag kWrap = Qt::TextWordWrap;

} // namespace

QMarginsF loadPageMargins() {
    uint32_t values[4] = {kDefaultMargin, kDefaultMargin, kDefaultMargin, kDefaultMargin};
    RegistryKey key;
    if (key.open(Hive::CurrentUser, kPageSetupKey) == 0)
        for (int i = 0; i < 4; ++i)
            if (key.getNumber(kMarginNames[i], values[i]) != 0 || values[i] > 10000)
                values[i] = kDefaultMargin;
    return QMarginsF(values[0], values[1], values[2], values[3]);
}

void savePageMargins(const QMarginsF& margins) {
    RegistryKey key;
    if (key.create(Hive::CurrentUser, kPageSetupKey) != 0)
        return;
    const qreal values[4] = {margins.left(), margins.top(), margins.right(), margins.bottom()};
    for (int i = 0; i < 4; ++i)
        key.setNumber(kMarginNames[i], static_cast<uint32_t>(qMax<qreal>(0, values[i]) + 0.5));
    (void)key.close();
}

PrintJob::PrintJob(std::unique_ptr<QPrinter> printer, QString documentName, QString subtitle,
                   std::vector<PrintEntry> entries, QWidget* frame)
    : m_printer(std::move(printer)), m_documentName(std::move(documentName)), m_subtitle(std::move(subtitle)),
      m_entries(std::move(entries)), m_frame(frame) {}

PrintJob::~PrintJob() = default;

void PrintJob::start() {
    if (m_entries.empty()) {
        QTimer::singleShot(0, this, [this] { end(false); });
        return;
    }
    QMarginsF margins = loadPageMargins();
    m_printer->setPageMargins(QMarginsF(margins.left() * 0.0254, margins.top() * 0.0254,
                                        margins.right() * 0.0254, margins.bottom() * 0.0254),
                              QPageLayout::Millimeter);
    m_printer->setDocName(m_documentName);
    m_painter = std::make_unique<QPainter>();
    if (!m_painter->begin(m_printer.get())) {
        QTimer::singleShot(0, this, [this] { end(false); });
        return;
    }
    startLayout();

    // The box comes before any measuring: wrapping the texts of a big tree takes seconds, and the
    // user sees from the start what runs and how to stop it.
    m_box = new QDialog(m_frame);
    m_box->setWindowTitle(QStringLiteral("Lurvik"));
    auto* layout = new QVBoxLayout(m_box);
    layout->addWidget(new QLabel(QStringLiteral("Printing..."), m_box));
    m_progress = new QLabel(m_box);
    m_progress->setObjectName(QStringLiteral("printProgress"));
    m_progress->setMinimumWidth(
        m_progress->fontMetrics().horizontalAdvance(QStringLiteral("Page 00000 of 00000")));
    layout->addWidget(m_progress);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), m_box);
    layout->addWidget(cancel);
    connect(cancel, &QPushButton::clicked, this, &PrintJob::cancel);
    m_box->setModal(false);
    m_box->show();
    if (m_frame)
        m_frame->setEnabled(false);
    m_box->setEnabled(true);

    m_timer = new QTimer(this);
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &PrintJob::nextStep);
    m_timer->start();
}

void PrintJob::nextStep() {
    if (m_entryLines.size() < m_entries.size()) {
        measureSome();
        return;
    }
    printNextPage();
    if (m_timer)
        m_progress->setText(QStringLiteral("Page %1 of %2").arg(m_page).arg(m_pageCount));
}

void PrintJob::startLayout() {
    QFont font = m_painter->font();
    font.setPointSize(8);
    m_painter->setFont(font);
    QFontMetrics metrics(font, m_printer.get());
    m_textHeight = metrics.boundingRect(m_documentName).height();
    m_lineHeight = qMax(1, static_cast<int>(m_textHeight * 1.25));
    QRect page = m_painter->viewport();
    m_linesPerPage = qMax(1, page.height() / m_lineHeight - 7);
    m_entryLines.reserve(m_entries.size());
}

void PrintJob::measureSome() {
    // Measured once: wrapping a text is the costly part, and pagination and drawing need it again.
    QElapsedTimer slice;
    slice.start();
    while (m_entryLines.size() < m_entries.size() && slice.elapsed() < 50) {
        m_entryLines.push_back(entryLines(m_entries[m_entryLines.size()]));
        m_lineCount += m_entryLines.back();
    }
    m_progress->setText(
        QStringLiteral("Laying out %1 of %2 entries").arg(m_entryLines.size()).arg(m_entries.size()));
    // As many pages as the lines need, and one more: a page whose lines are all used still ends
    // its job with a page of its own.
    if (m_entryLines.size() == m_entries.size())
        m_pageCount = m_lineCount / m_linesPerPage + 1;
}

int PrintJob::entryLines(const PrintEntry& entry) const {
    QRect page = m_painter->viewport();
    QFontMetrics metrics(m_painter->font(), m_printer.get());
    int tallest = 1;
    if (entry.columns.size() == 3) {
        int third = page.width() / 3;
        const int widths[3] = {third, 600, qMax(1, page.width() - third - 600)};
        for (int i = 0; i < 3; ++i) {
            QRect box =
                metrics.boundingRect(QRect(0, 0, widths[i], 1 << 20), kWrap, entry.columns[i].left(249));
            tallest = qMax(tallest, (box.height() + m_lineHeight - 1) / m_lineHeight);
        }
    } else if (!entry.columns.isEmpty()) {
        int indent = entry.depth * metrics.horizontalAdvance(QStringLiteral("ww"));
        QRect box = metrics.boundingRect(QRect(0, 0, qMax(1, page.width() - indent), 1 << 20), kWrap,
                                         entry.columns[0]);
        tallest = qMax(tallest, (box.height() + m_lineHeight - 1) / m_lineHeight);
    }
    return tallest;
}

void PrintJob::drawEntry(const PrintEntry& entry, int lines, int top) {
    QRect page = m_painter->viewport();
    int height = lines * m_lineHeight;
    if (entry.columns.size() == 3) {
        int third = page.width() / 3;
        m_painter->drawText(QRect(0, top, third, height), kWrap, entry.columns[0].left(249));
        m_painter->drawText(QRect(third, top, 600, height), kWrap, entry.columns[1].left(249));
        m_painter->drawText(QRect(third + 600, top, qMax(1, page.width() - third - 600), height), kWrap,
                            entry.columns[2].left(249));
    } else if (!entry.columns.isEmpty()) {
        int indent = entry.depth *
                     QFontMetrics(m_painter->font(), m_printer.get()).horizontalAdvance(QStringLiteral("ww"));
        m_painter->drawText(QRect(indent, top, qMax(1, page.width() - indent), height), kWrap,
                            entry.columns[0]);
    }
}

void PrintJob::printNextPage() {
    if (m_page > 0 && !m_printer->newPage()) {
        end(false);
        return;
    }
    ++m_page;
    QRect page = m_painter->viewport();
    int h = m_textHeight;
    m_painter->drawText(QRect(0, 0, page.width(), h * 2), Qt::AlignLeft | Qt::AlignTop, m_documentName);
    m_painter->drawText(QRect(0, 0, page.width(), h * 2), Qt::AlignRight | Qt::AlignTop,
                        QStringLiteral("Page %1 of %2").arg(m_page).arg(m_pageCount));
    m_painter->drawText(QRect(0, h + h / 2, page.width(), h * 2), Qt::AlignLeft | Qt::AlignTop, m_subtitle);
    int rule = 3 * h;
    m_painter->drawLine(0, rule, page.width(), rule);
    int top = 4 * h;
    int used = 0;
    while (m_next < m_entries.size()) {
        int lines = m_entryLines[m_next];
        if (used > 0 && used + lines > m_linesPerPage)
            break;
        drawEntry(m_entries[m_next], lines, top);
        top += lines * m_lineHeight;
        used += lines;
        ++m_next;
    }
    if (m_page >= m_pageCount)
        end(true);
}

void PrintJob::cancel() {
    if (m_timer)
        end(false);
}

void PrintJob::end(bool completed) {
    if (m_timer) {
        m_timer->stop();
        m_timer->deleteLater();
        m_timer = nullptr;
    }
    if (m_painter && m_painter->isActive()) {
        if (!completed)
            m_printer->abort();
        m_painter->end();
    }
    // A cancelled job to a file must not leave half a document that looks like a whole one.
    if (!completed && m_printer && m_printer->outputFormat() == QPrinter::PdfFormat &&
        !m_printer->outputFileName().isEmpty())
        QFile::remove(m_printer->outputFileName());
    if (m_box) {
        m_box->deleteLater();
        m_box = nullptr;
    }
    if (m_frame) {
        m_frame->setEnabled(true);
        m_frame->setFocus();
    }
    emit finished(completed);
    deleteLater();
}

} // namespace lurvik
