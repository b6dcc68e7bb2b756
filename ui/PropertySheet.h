#pragma once

#include <QDialog>

#include <functional>
#include <vector>

class QTabWidget;

namespace lurvik {

// A modal sheet of tabbed pages with OK and Cancel: the one shape of the Options, ratings and
// Properties sheets. A page's widgets are built the first time the page is shown, as the sheets'
// pages fill their controls only then.
class PropertySheet : public QDialog {
    Q_OBJECT
public:
    PropertySheet(const QString& caption, QWidget* owner);

    void addPage(const QString& title, std::function<QWidget*()> build);
    // The page shown first; built when the sheet opens.
    void setStartPage(int index);
    QTabWidget* tabs() const { return m_tabs; }

private:
    void buildPage(int index);

    QTabWidget* m_tabs;
    std::vector<std::function<QWidget*()>> m_builders;
};

} // namespace lurvik
