#pragma once

#include <QDialog>

#include <functional>
#include <vector>

class QPushButton;
class QTabWidget;

namespace lurvik {

// A modal sheet of tabbed pages with OK and Cancel, and Apply when a page edits something: the one
// shape of the Options, ratings and Properties sheets. A page's widgets are built the first time
// the page is shown, as the sheets' pages fill their controls only then; only built pages apply.
class PropertySheet : public QDialog {
    Q_OBJECT
public:
    PropertySheet(const QString& caption, QWidget* owner);

    // apply, when given, writes the page back; the sheet then has an Apply button, which a page
    // enables with setChanged().
    void addPage(const QString& title, std::function<QWidget*()> build, std::function<void()> apply = {},
                 int helpContext = 0);
    // The sheet gets a Help button, and F1, that open the help at the current page's context.
    void setHelp(std::function<void(int context)> showHelp);
    QPushButton* helpButton() const { return m_help; }
    void setChanged();
    QPushButton* applyButton() const { return m_apply; }
    // Applies every page that was shown; Apply and OK both do this.
    void applyPages();
    // The page shown first; built when the sheet opens.
    void setStartPage(int index);
    QTabWidget* tabs() const { return m_tabs; }

private:
    void buildPage(int index);

    QTabWidget* m_tabs;
    QPushButton* m_apply;
    QPushButton* m_help;
    std::function<void(int)> m_showHelp;
    std::vector<int> m_helpContexts;
    std::vector<std::function<QWidget*()>> m_builders;
    std::vector<std::function<void()>> m_appliers;
    std::vector<bool> m_built;
};

} // namespace lurvik
