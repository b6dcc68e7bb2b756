#include "PropertySheet.h"

#include <QDialogButtonBox>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

namespace lurvik {

PropertySheet::PropertySheet(const QString& caption, QWidget* owner)
    : QDialog(owner), m_tabs(new QTabWidget(this)) {
    setWindowTitle(caption);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                             QDialogButtonBox::Apply | QDialogButtonBox::Help,
                                         this);
    m_apply = buttons->button(QDialogButtonBox::Apply);
    m_apply->setEnabled(false);
    m_apply->setVisible(false);
    connect(m_apply, &QPushButton::clicked, this, &PropertySheet::applyPages);
    m_help = buttons->button(QDialogButtonBox::Help);
    m_help->setVisible(false);
    auto showHelp = [this] {
        int page = m_tabs->currentIndex();
        if (m_showHelp && page >= 0)
            m_showHelp(m_helpContexts[page]);
    };
    connect(buttons, &QDialogButtonBox::helpRequested, this, showHelp);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this, showHelp);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        applyPages();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    connect(m_tabs, &QTabWidget::currentChanged, this, &PropertySheet::buildPage);
}

void PropertySheet::addPage(const QString& title, std::function<QWidget*()> build,
                            std::function<void()> apply, int helpContext) {
    auto* holder = new QWidget(m_tabs);
    new QVBoxLayout(holder);
    holder->layout()->setContentsMargins(0, 0, 0, 0);
    if (apply)
        m_apply->setVisible(true);
    m_builders.push_back(std::move(build));
    m_appliers.push_back(std::move(apply));
    m_built.push_back(false);
    m_helpContexts.push_back(helpContext);
    m_tabs->addTab(holder, title);
    if (m_tabs->count() == 1)
        buildPage(0);
}

void PropertySheet::setHelp(std::function<void(int)> showHelp) {
    m_showHelp = std::move(showHelp);
    m_help->setVisible(true);
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
    m_built[index] = true;
    m_tabs->widget(index)->layout()->addWidget(page);
}

void PropertySheet::setChanged() {
    m_apply->setEnabled(true);
}

void PropertySheet::applyPages() {
    for (size_t i = 0; i < m_appliers.size(); ++i)
        if (m_built[i] && m_appliers[i])
            m_appliers[i]();
    m_apply->setEnabled(false);
}

} // namespace lurvik
