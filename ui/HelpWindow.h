#pragma once

#include <QDialog>

class QTextBrowser;

namespace lurvik {

// The help pages, opened at a topic by its context number. One window serves every request.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    // Context 0 opens the contents page.
    static void showTopic(int context, QWidget* parent);
    static HelpWindow* instance();

    QTextBrowser* browser() const { return m_browser; }
    // The folder of the help pages: beside the program, else the source tree's docs/help.
    static QString helpDirectory();
    // The page and anchor of a context number, as "page.html#anchor".
    static QString topicPage(int context);

private:
    explicit HelpWindow(QWidget* parent);

    QTextBrowser* m_browser;
};

} // namespace lurvik
