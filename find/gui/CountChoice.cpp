#include "CountChoice.h"

#include "find/FindCriteria.h"
#include "find/ObjectTypes.h"
#include "platform/gui/QtText.h"

#include <QComboBox>
#include <QLineEdit>

#include <algorithm>

namespace lurvik {

CountChoice::CountChoice(Operators operators, QWidget* parent)
    : QObject(parent), m_value(new QComboBox(parent)) {
    m_value->setEditable(true);
    m_value->setInsertPolicy(QComboBox::NoInsert);
    m_value->addItems({"All", "1", "5", "10", "25", "50", "100"});
    if (operators != Operators::None) {
        m_operator = new QComboBox(parent);
        for (int op = COMPARE_EQUAL; op <= COMPARE_NOT_EQUAL; ++op)
            m_operator->addItem(QString::fromLatin1(operators == Operators::Short ? compareOpText(op)
                                                                                  : compareOpLongText(op)));
    }
    connect(m_value, &QComboBox::activated, this, &CountChoice::valueChosen);
    connect(m_value->lineEdit(), &QLineEdit::editingFinished, this, &CountChoice::valueTyped);
    set(-1, COMPARE_EQUAL);
}

int CountChoice::value() const {
    return FindCriteria::parseCountValue(toStr(m_value->currentText()));
}

int CountChoice::op() const {
    return m_operator ? m_operator->currentIndex() : COMPARE_EQUAL;
}

void CountChoice::set(int value, int op) {
    if (value == -1) {
        m_value->setCurrentIndex(0);
        m_value->setEditText(QStringLiteral("All"));
    } else {
        int at = m_value->findText(QString::number(value));
        if (at >= 0)
            m_value->setCurrentIndex(at);
        m_value->setEditText(QString::number(value));
    }
    if (m_operator) {
        m_operator->setCurrentIndex(value == -1 ? COMPARE_EQUAL : std::clamp(op, 0, 5));
        m_operator->setEnabled(m_enabled && value != -1);
    }
}

void CountChoice::setEnabled(bool enabled) {
    m_enabled = enabled;
    m_value->setEnabled(enabled);
    if (m_operator)
        m_operator->setEnabled(enabled && value() != -1);
}

void CountChoice::valueChosen() {
    if (m_operator) {
        bool off = m_value->currentIndex() == 0;
        if (off)
            m_operator->setCurrentIndex(COMPARE_EQUAL);
        m_operator->setEnabled(m_enabled && !off);
    }
}

void CountChoice::valueTyped() {
    int typed = value();
    if (typed == -1 || typed == 0) {
        set(-1, COMPARE_EQUAL);
        return;
    }
    if (m_operator)
        m_operator->setEnabled(m_enabled);
}

} // namespace lurvik
