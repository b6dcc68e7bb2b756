#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace lurvik {

// "Go To Page": a modeless search of the site tree by page title. Each "Next Page" asks the main
// window for the next match in the chosen direction.
class GoToPageDialog : public QDialog {
    Q_OBJECT
public:
    explicit GoToPageDialog(QWidget* parent = nullptr);

    QLineEdit* textBox() const { return m_text; }
    bool matchCase() const;
    bool wholeWord() const;
    bool down() const;
    void setDown(bool down);

signals:
    void nextPage();

private:
    QLineEdit* m_text;
    QCheckBox* m_wholeWord;
    QCheckBox* m_matchCase;
    QRadioButton* m_up;
    QRadioButton* m_down;
};

} // namespace lurvik
