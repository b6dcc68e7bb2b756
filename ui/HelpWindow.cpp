#include "HelpWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace lurvik {

namespace {

QPointer<HelpWindow> theHelpWindow;

struct Topic {
    int context;
    const char* page;
};

// The context numbers the program and its dialogs open the help at.
const Topic kTopics[] = {
    {0, "index.html"},
    {1048, "faq.html"},
    {4001, "options.html#general"},
    {4002, "options.html#network"},
    {4003, "options.html#cache"},
    {4004, "options.html#advanced"},
    {4005, "options.html#fonts"},
    {4006, "options.html#browser"},
    {4007, "options.html#ratings"},
    {4010, "scheduler.html#scheduler"},
    {4013, "sitemaps.html#save"},
};

} // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this)) {
    setWindowTitle(QStringLiteral("Lurvik Help"));
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_browser->setOpenExternalLinks(true);
    m_browser->setSearchPaths({helpDirectory()});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(600, 480);
}

QString HelpWindow::helpDirectory() {
    QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("help"));
    if (QFileInfo::exists(beside + QStringLiteral("/index.html")))
        return beside;
#ifdef LURVIK_HELP_DIR
    return QStringLiteral(LURVIK_HELP_DIR);
#else
    return beside;
#endif
}

QString HelpWindow::topicPage(int context) {
    for (const Topic& topic : kTopics)
        if (topic.context == context)
            return QString::fromLatin1(topic.page);
    return QStringLiteral("index.html");
}

HelpWindow* HelpWindow::instance() {
    return theHelpWindow;
}

void HelpWindow::showTopic(int context, QWidget* parent) {
    if (!theHelpWindow)
        theHelpWindow = new HelpWindow(parent ? parent->window() : nullptr);
    QString page = topicPage(context);
    QString file = page.section(QLatin1Char('#'), 0, 0);
    QString anchor = page.section(QLatin1Char('#'), 1);
    QUrl url = QUrl::fromLocalFile(QDir(helpDirectory()).filePath(file));
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    theHelpWindow->m_browser->setSource(url);
    theHelpWindow->show();
    theHelpWindow->raise();
    theHelpWindow->activateWindow();
}

} // namespace lurvik
