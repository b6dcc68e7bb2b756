#include "FontsPage.h"

#include "ViewFonts.h"
#include "platform/gui/PropertySheet.h"
#include "retrieval/Settings.h"

#include <QFontDatabase>
#include <QFontDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

namespace lurvik {

FontsPage::FontsPage(Settings& settings, PropertySheet& sheet)
    : QWidget(&sheet), m_settings(settings), m_sheet(sheet), m_tree(new QTreeWidget(this)),
      m_list(new QListWidget(this)), m_html(new QLabel(QStringLiteral("Sample Text"), this)) {
    const QString sample = QStringLiteral("Sample Text");
    m_tree->header()->hide();
    QTreeWidgetItem* item = new QTreeWidgetItem(m_tree, {sample});
    for (int depth = 1; depth < 3; ++depth)
        item = new QTreeWidgetItem(item, {sample});
    m_tree->expandAll();
    m_tree->scrollToItem(item);
    for (int row = 0; row < 3; ++row)
        m_list->addItem(sample);
    m_html->setFrameShape(QFrame::StyledPanel);
    m_tree->setFont(viewFont(settings, ViewFont::Tree));
    m_list->setFont(viewFont(settings, ViewFont::List));
    m_html->setFont(viewFont(settings, ViewFont::Html));

    auto* layout = new QGridLayout(this);
    int row = 0;
    for (auto [title, view] : {std::pair{QStringLiteral("Tree"), static_cast<QWidget*>(m_tree)},
                               std::pair{QStringLiteral("List"), static_cast<QWidget*>(m_list)},
                               std::pair{QStringLiteral("HTML"), static_cast<QWidget*>(m_html)}}) {
        auto* change = new QPushButton(QStringLiteral("&Change"), this);
        change->setObjectName(QStringLiteral("change") + title);
        connect(change, &QPushButton::clicked, this, [this, view] { choose(view); });
        layout->addWidget(new QLabel(title, this), row, 0);
        layout->addWidget(view, row, 1);
        layout->addWidget(change, row, 2);
        ++row;
    }
    auto* reset = new QPushButton(QStringLiteral("&Reset All"), this);
    connect(reset, &QPushButton::clicked, this, [this] {
        const QFont standard = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        for (QWidget* view :
             {static_cast<QWidget*>(m_tree), static_cast<QWidget*>(m_list), static_cast<QWidget*>(m_html)})
            view->setFont(standard);
        m_sheet.setChanged();
    });
    layout->addWidget(reset, row, 2);
}

void FontsPage::choose(QWidget* sample) {
    bool ok = false;
    QFont chosen = QFontDialog::getFont(&ok, sample->font(), this);
    if (!ok)
        return;
    sample->setFont(chosen);
    m_sheet.setChanged();
}

void FontsPage::apply() {
    storeViewFont(m_settings, ViewFont::Tree, m_tree->font());
    storeViewFont(m_settings, ViewFont::List, m_list->font());
    storeViewFont(m_settings, ViewFont::Html, m_html->font());
}

} // namespace lurvik
