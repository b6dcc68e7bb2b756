#include "GoToPageDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace lurvik {

namespace {

constexpr int kMaxText = 99;

} // namespace

GoToPageDialog::GoToPageDialog(QWidget* parent)
    : QDialog(parent), m_text(new QLineEdit(this)),
      m_wholeWord(new QCheckBox(QStringLiteral("Match &whole word only"), this)),
      m_matchCase(new QCheckBox(QStringLiteral("Match &case"), this)) {
    setWindowTitle(QStringLiteral("Go To Page"));
    setObjectName(QStringLiteral("GoToPageDialog"));
    m_text->setMaxLength(kMaxText);
    auto* label = new QLabel(QStringLiteral("&Title Contains:"), this);
    label->setBuddy(m_text);
    auto* direction = new QGroupBox(QStringLiteral("Direction"), this);
    m_up = new QRadioButton(QStringLiteral("&Up"), direction);
    m_down = new QRadioButton(QStringLiteral("&Down"), direction);
    m_down->setChecked(true);
    auto* directionRow = new QHBoxLayout(direction);
    directionRow->addWidget(m_up);
    directionRow->addWidget(m_down);
    auto* next = new QPushButton(QStringLiteral("&Next Page"), this);
    next->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    connect(next, &QPushButton::clicked, this, &GoToPageDialog::nextPage);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(m_text, 0, 1, 1, 2);
    grid->addWidget(next, 0, 3);
    grid->addWidget(m_wholeWord, 1, 0, 1, 2);
    grid->addWidget(direction, 1, 2, 2, 1);
    grid->addWidget(cancel, 1, 3);
    grid->addWidget(m_matchCase, 2, 0, 1, 2);
}

bool GoToPageDialog::matchCase() const {
    return m_matchCase->isChecked();
}

bool GoToPageDialog::wholeWord() const {
    return m_wholeWord->isChecked();
}

bool GoToPageDialog::down() const {
    return m_down->isChecked();
}

void GoToPageDialog::setDown(bool down) {
    (down ? m_down : m_up)->setChecked(true);
}

} // namespace lurvik
