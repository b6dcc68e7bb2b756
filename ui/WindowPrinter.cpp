#include "WindowPrinter.h"

#include "LinkListModel.h"
#include "PrintEntries.h"
#include "PrintJob.h"
#include "retrieval/SiteNode.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace lurvik {

WindowPrinter::WindowPrinter(SiteTreeModel& tree, LinkListModel& links, QWidget* frame)
    : m_tree(tree), m_links(links), m_frame(frame) {}

void WindowPrinter::pageSetup() {
    QPrinter printer(QPrinter::HighResolution);
    QMarginsF margins = loadPageMargins();
    printer.setPageMargins(margins * 0.0254, QPageLayout::Millimeter);
    QPageSetupDialog dialog(&printer, m_frame);
    if (dialog.exec() != QDialog::Accepted)
        return;
    savePageMargins(printer.pageLayout().margins(QPageLayout::Millimeter) / 0.0254);
}

void WindowPrinter::print(SiteTreeModel::Item* selected) {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    QPrintDialog dialog(printer.get(), m_frame);
    auto* panel = new PrintWhatPanel(false);
    // The last choice comes back: a user who prints the tree prints it again.
    panel->whatBox()->setCurrentIndex(m_lastPrintWhat);
    panel->includeUrlsBox()->setChecked(m_lastIncludeUrls);
    dialog.setOptionTabs({panel});
    // Qt's own dialog keeps the extra tabs folded behind its "Options >>" button, where nobody
    // finds what is printed: it is unfolded at once.
    QTimer::singleShot(0, &dialog, [&dialog, panel] {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text().contains(QStringLiteral("Options")) &&
                button->text().contains(QStringLiteral(">>")))
                button->click();
        for (QTabWidget* tabs : dialog.findChildren<QTabWidget*>())
            if (tabs->indexOf(panel) >= 0)
                tabs->setCurrentWidget(panel);
    });
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_lastPrintWhat = panel->printWhat();
    m_lastIncludeUrls = panel->includeUrlsBox()->isChecked();
    startPrint(panel->printWhat(), panel->includeUrls(), std::move(printer), selected);
}

PrintJob* WindowPrinter::startPrint(int printWhat, bool includeUrls, std::unique_ptr<QPrinter> printer,
                                    SiteTreeModel::Item* sel) {
    const SiteNode* page = sel && sel != m_tree.root() ? sel->node : nullptr;
    QString documentName;
    QString subtitle;
    std::vector<PrintEntry> entries;
    if (printWhat == PrintEntireTree) {
        documentName = QStringLiteral("Lurvik Web Tree");
        subtitle = QStringLiteral("Full Site Explorer Map");
        entries = treeEntries(m_tree, includeUrls);
    } else {
        if (page)
            subtitle =
                QStringLiteral("%1 [%2]").arg(m_tree.itemText(sel), QString::fromStdString(page->url.text()));
        if (printWhat == PrintPageSource) {
            Str source;
            if (page)
                pageText(*page, source, false, true);
            if (source.isEmpty()) {
                QMessageBox::warning(m_frame, QStringLiteral("Error"),
                                     QStringLiteral("Could not get HTML for specified page"));
                return nullptr;
            }
            documentName = QStringLiteral("Lurvik HTML Source");
            entries = sourceEntries(source);
        } else {
            documentName = QStringLiteral("Lurvik Link Summary");
            entries = linkEntries(m_links);
        }
    }
    auto* job = new PrintJob(std::move(printer), documentName, subtitle, std::move(entries), m_frame);
    job->start();
    return job;
}

PrintJob* WindowPrinter::printFindResults(const QAbstractItemModel& results, QWidget* owner,
                                          std::unique_ptr<QPrinter> printer) {
    std::vector<PrintEntry> entries = linkEntries(results);
    if (entries.empty())
        return nullptr;
    auto* job = new PrintJob(std::move(printer), QStringLiteral("Lurvik Link Summary"),
                             QStringLiteral("Find Results"), std::move(entries), owner);
    job->start();
    return job;
}

} // namespace lurvik
