#pragma once

#include <QObject>

class QComboBox;
class QWidget;

namespace lurvik {

// A count criterion as the Find window and the wizard show it: an editable value list ("All",
// "1" ... "100", or a typed number) and, for the count criteria, an operator list. "All" turns the
// criterion off, so its operator falls back to "=" and is disabled; a typed value that reads as 0
// (text that is no number included) turns back into "All". The result limit has no operator.
class CountChoice : public QObject {
    Q_OBJECT
public:
    enum class Operators { None, Short, Long };

    CountChoice(Operators operators, QWidget* parent);

    QComboBox* valueList() const { return m_value; }
    QComboBox* operatorList() const { return m_operator; }

    // The value as the criteria take it: -1 for "All".
    int value() const;
    // The operator's position, which is its CompareOp code.
    int op() const;
    // -1 shows "All"; any other value shows the number with op selected.
    void set(int value, int op);
    // Whether the user may use the lists at all (the wizard's "No" answers, for instance).
    void setEnabled(bool enabled);

private:
    void valueChosen();
    void valueTyped();

    QComboBox* m_value;
    QComboBox* m_operator = nullptr;
    bool m_enabled = true;
};

} // namespace lurvik
