#pragma once

#include "SiteMonitor.h"

#include <QTimer>

namespace lurvik {

class Application;
class MainWindow;

// Runs the scheduled retrievals in the main window: twice a minute one due site is started when
// no retrieval runs. A schedule that compares has its retrieval watched, and the comparison is
// told once the retrieval and its link checks have ended, in the status bar and in a box that
// waits for whoever comes to the screen. Owned by the window.
class ScheduleRunner {
public:
    ScheduleRunner(Application& app, MainWindow& window);

    // The due check: starts one due site when no retrieval runs; true when an entry was taken.
    bool checkSchedule();
    // The retrieval and its link checks have ended: a watched site's comparison is made, kept
    // and told; nothing when none was watched.
    void finishMonitoring();

private:
    Application& m_app;
    MainWindow& m_window;
    SiteMonitor m_monitor;
    QTimer m_timer;
};

} // namespace lurvik
