#include "PrintEntries.h"

#include "retrieval/SiteNode.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QVBoxLayout>

namespace lurvik {

PrintWhatPanel::PrintWhatPanel(bool findResults, QWidget* parent)
    : QWidget(parent), m_what(new QComboBox(this)),
      m_summary(new QCheckBox(QStringLiteral("&Include summary information"), this)),
      m_includeUrls(new QCheckBox(QStringLiteral("Include &URL address in tree"), this)) {
    setWindowTitle(QStringLiteral("Print what"));
    if (findResults)
        m_what->addItem(QStringLiteral("Find Results"));
    else
        m_what->addItems({QStringLiteral("Selected Page Contents"),
                          QStringLiteral("Selected Page HTML Source"), QStringLiteral("Entire Tree")});
    m_includeUrls->setEnabled(false);
    connect(m_what, &QComboBox::currentIndexChanged, this, [this, findResults](int index) {
        m_includeUrls->setEnabled(!findResults && index == PrintEntireTree);
    });
    auto* label = new QLabel(QStringLiteral("Select what you would like to print:"), this);
    label->setBuddy(m_what);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_what);
    layout->addWidget(m_summary);
    layout->addWidget(m_includeUrls);
    layout->addStretch();
}

int PrintWhatPanel::printWhat() const {
    return m_what->currentIndex() < 0 ? 0 : m_what->currentIndex();
}

bool PrintWhatPanel::includeUrls() const {
    return m_includeUrls->isEnabled() && m_includeUrls->isChecked() && printWhat() == PrintEntireTree;
}

std::vector<PrintEntry> linkEntries(const QAbstractItemModel& list) {
    std::vector<PrintEntry> entries;
    for (int row = 0; row < list.rowCount(); ++row) {
        PrintEntry entry;
        for (int column = 0; column < 3; ++column)
            entry.columns << list.index(row, column).data().toString();
        // A page's link list has a status beside its three columns; a summary handed to someone
        // is read for its failures, so the status goes under the type.
        if (list.columnCount() > 3)
            if (QString status = list.index(row, 3).data().toString(); !status.isEmpty())
                entry.columns[1] += QLatin1Char('\n') + status;
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<PrintEntry> sourceEntries(const Str& source) {
    std::vector<PrintEntry> entries;
    QString text = QString::fromUtf8(source.text(), source.len());
    text.remove(QLatin1Char('\r'));
    for (const QString& line : text.split(QLatin1Char('\n')))
        entries.push_back({{line}, 0});
    if (!entries.empty() && entries.back().columns.front().isEmpty())
        entries.pop_back();
    return entries;
}

std::vector<PrintEntry> treeEntries(const SiteTreeModel& model, bool includeUrls) {
    std::vector<PrintEntry> entries;
    // A stack of its own: a chain of pages may be deeper than the thread's stack.
    std::vector<std::pair<const SiteTreeModel::Item*, int>> stack{{model.root(), 0}};
    while (!stack.empty()) {
        auto [item, depth] = stack.back();
        stack.pop_back();
        QString text = model.itemText(item).left(254);
        if (includeUrls && item != model.root() && item->node)
            text = QStringLiteral("%1   (%2)").arg(text, QString::fromStdString(item->node->url.text()));
        if (item != model.root() && item->node && item->node->state == NODE_ERROR) {
            const SiteNode& page = *item->node;
            text += QStringLiteral("   [failed%1: %2]")
                        .arg(page.httpStatus ? QStringLiteral(" %1").arg(page.httpStatus) : QString(),
                             QString::fromUtf8(page.title.text(), page.title.len()));
        }
        entries.push_back({{text}, depth});
        for (auto it = item->children.rbegin(); it != item->children.rend(); ++it)
            stack.emplace_back(*it, depth + 1);
    }
    return entries;
}

} // namespace lurvik
