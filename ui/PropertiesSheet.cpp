#include "PropertiesSheet.h"

#include "Icons.h"
#include "PageStatistics.h"

#include <algorithm>

#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace lurvik {

namespace {

// The tree shows at most this much of an item's text.
constexpr int kMaxItemText = 254;

QLineEdit* readOnlyLine(const QString& text, QWidget* parent) {
    auto* edit = new QLineEdit(text, parent);
    edit->setReadOnly(true);
    edit->setCursorPosition(0);
    return edit;
}

} // namespace

PropertiesSheet::PropertiesSheet(const SiteTreeModel& model, const SiteTreeModel::Item* subject,
                                 FileTypeTable& types, QWidget* owner)
    : PropertySheet(QStringLiteral("Properties"), owner), m_model(model),
      m_subject(subject ? subject : model.root()), m_types(types) {
    addPage(QStringLiteral("General"), [this] { return buildGeneral(); });
    addPage(QStringLiteral("HTTP Header"), [this] { return buildHeader(); });
    resize(480, 420);
}

QWidget* PropertiesSheet::buildGeneral() {
    auto* page = new QWidget(this);
    bool isRoot = m_subject == m_model.root();
    const SiteNode* node = isRoot ? nullptr : m_subject->node;
    m_name = readOnlyLine(m_model.itemText(m_subject).left(kMaxItemText), page);
    m_address = readOnlyLine(node ? QString::fromStdString(node->url.text()) : QString(), page);
    m_statistics = new QTreeWidget(page);
    m_statistics->setRootIsDecorated(false);
    m_statistics->setHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
    m_statistics->header()->setStretchLastSection(true);

    std::vector<StatisticRow> rows;
    if (isRoot) {
        rows = treeStatistics(static_cast<int>(m_subject->children.size()));
    } else if (node) {
        int level = 0;
        for (const SiteTreeModel::Item* up = m_subject->parent; up && up != m_model.root(); up = up->parent)
            ++level;
        rows = pageStatistics(*node, level, m_types);
    }
    for (const StatisticRow& row : rows) {
        auto* item = new QTreeWidgetItem(
            m_statistics, {QString::fromStdString(row.label), QString::fromStdString(row.value)});
        item->setIcon(0, Icons::linkIcon(row.image));
    }
    // The labels whole ("Total links", "Page size"): the sheet is not yet laid out, so its own
    // width says nothing here.
    m_statistics->resizeColumnToContents(0);
    m_statistics->setColumnWidth(0, std::min(m_statistics->columnWidth(0) + 16, 360));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), m_name);
    form->addRow(QStringLiteral("&Address:"), m_address);
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addWidget(m_statistics);
    return page;
}

QWidget* PropertiesSheet::buildHeader() {
    m_header = new QPlainTextEdit(this);
    m_header->setReadOnly(true);
    m_header->setLineWrapMode(QPlainTextEdit::NoWrap);
    QString text = QStringLiteral("No Header Information Available.");
    if (m_subject != m_model.root() && m_subject->node) {
        const SiteNode& node = *m_subject->node;
        Str header(node.replyHeader.view());
        // Maps saved before headers were kept still have them in the cache when saved with HTML.
        if (header.isEmpty())
            pageText(node, header, true, false);
        text = QString::fromUtf8(header.text(), header.len());
    }
    m_header->setPlainText(text);
    return m_header;
}

} // namespace lurvik
