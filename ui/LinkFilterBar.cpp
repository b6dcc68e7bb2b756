#include "LinkFilterBar.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace lurvik {

LinkFilterBar::LinkFilterBar(LinkListModel& links, QWidget* parent)
    : QWidget(parent), m_links(links), m_text(new QLineEdit(this)), m_status(new QComboBox(this)) {
    m_text->setObjectName(QStringLiteral("linkFilterText"));
    m_text->setPlaceholderText(QStringLiteral("Name or address"));
    m_text->setClearButtonEnabled(true);
    m_status->setObjectName(QStringLiteral("linkFilterStatus"));
    m_status->addItems(
        {QStringLiteral("All links"), QStringLiteral("Broken links"), QStringLiteral("Blocked links")});
    auto* label = new QLabel(QStringLiteral("F&ilter:"), this);
    label->setBuddy(m_text);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 2);
    row->addWidget(label);
    row->addWidget(m_text, 1);
    row->addWidget(m_status);
    connect(m_text, &QLineEdit::textChanged, this, &LinkFilterBar::apply);
    connect(m_status, &QComboBox::currentIndexChanged, this, &LinkFilterBar::apply);
}

void LinkFilterBar::apply() {
    static const LinkListModel::StatusFilter kinds[] = {LinkListModel::StatusFilter::All,
                                                        LinkListModel::StatusFilter::Broken,
                                                        LinkListModel::StatusFilter::Blocked};
    m_links.setFilter(m_text->text(), kinds[std::max(0, m_status->currentIndex())]);
}

} // namespace lurvik
