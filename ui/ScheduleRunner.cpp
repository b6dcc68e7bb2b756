#include "ScheduleRunner.h"

#include "Application.h"
#include "MainWindow.h"
#include "Shell.h"

#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

namespace lurvik {

ScheduleRunner::ScheduleRunner(Application& app, MainWindow& window)
    : m_app(app), m_window(window), m_monitor(app) {
    QObject::connect(&m_timer, &QTimer::timeout, &m_window, [this] { checkSchedule(); });
    m_timer.start(30000);
}

bool ScheduleRunner::checkSchedule() {
    auto start = [this](const std::string& address, bool compare) {
        if (compare)
            m_monitor.watch(address);
        if (!m_window.startSite(QString::fromStdString(address)))
            m_monitor.cancel();
    };
    return m_app.scheduledSites.checkSchedule(m_app.engine.isBusy(), start);
}

void ScheduleRunner::finishMonitoring() {
    if (!m_monitor.isWatching())
        return;
    const SiteMonitor::Outcome outcome = m_monitor.finish();
    m_window.statusBar()->showMessage(outcome.text, 30000);
    // Nobody may be at the screen when a schedule runs: the box waits without holding anything up.
    auto* box = new QMessageBox(outcome.failed || outcome.broken > 0 ? QMessageBox::Warning
                                                                     : QMessageBox::Information,
                                QStringLiteral("Lurvik"), outcome.text, QMessageBox::Ok, &m_window);
    box->setObjectName(QStringLiteral("scheduledComparison"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!outcome.page.isEmpty()) {
        QPushButton* show = box->addButton(QStringLiteral("&Show changes"), QMessageBox::ActionRole);
        const QString page = outcome.page;
        QObject::connect(show, &QPushButton::clicked, &m_window,
                         [this, page] { Shell::openFile(page, &m_window, m_app.settings, m_app.ratings); });
    }
    box->open();
}

} // namespace lurvik
