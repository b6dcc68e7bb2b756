#include "PropertySheet.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lurvik {

PropertySheet::PropertySheet(const QString& caption, QWidget* owner)
    : QDialog(owner), m_tabs(new QTabWidget(this)) {
    setWindowTitle(caption);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(m_tabs, &QTabWidget::currentChanged, this, &PropertySheet::buildPage);
}

void PropertySheet::addPage(const QString& title, std::function<QWidget*()> build) {
    auto* holder = new QWidget(m_tabs);
    new QVBoxLayout(holder);
    holder->layout()->setContentsMargins(0, 0, 0, 0);
    m_builders.push_back(std::move(build));
    m_tabs->addTab(holder, title);
    if (m_tabs->count() == 1)
        buildPage(0);
}

void PropertySheet::setStartPage(int index) {
    m_tabs->setCurrentIndex(index);
    buildPage(index);
}

void PropertySheet::buildPage(int index) {
    if (index < 0 || index >= static_cast<int>(m_builders.size()) || !m_builders[index])
        return;
    QWidget* page = m_builders[index]();
    m_builders[index] = nullptr;
    m_tabs->widget(index)->layout()->addWidget(page);
}

} // namespace lurvik
