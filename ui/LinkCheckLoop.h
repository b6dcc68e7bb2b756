#pragma once

#include <QObject>
#include <QTimer>

namespace lurvik {

class Application;

// "Check links" in the window: once a retrieval ends, the links it did not follow (images,
// downloads and other non-page links, and, with the external-link setting, links outside the
// limits) are requested once each by the program's ResourceChecker, a step per turn of the event
// loop as the command line runs it after a crawl. The results go where the link list reads them.
class LinkCheckLoop : public QObject {
    Q_OBJECT
public:
    explicit LinkCheckLoop(Application& app, QObject* parent = nullptr);

    // Starts checking when the settings ask for it and there is anything new to check.
    void start();
    // Stop, or the window closing: the running requests are given up.
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

signals:
    // Some results came in: the views showing statuses read them again.
    void progressed();
    void finished();

private:
    void tick();

    Application& m_app;
    QTimer m_timer;
    QTimer m_notice;
};

} // namespace lurvik
