#pragma once

#include "sitemap/CheckpointWriter.h"

#include <functional>

#include <QMainWindow>
#include <QObject>
#include <QString>
#include <QTimer>

namespace lurvik {

class Application;

// The window's retrieval saved as it goes, at the interval of the "CheckpointSeconds" setting:
// the pages retrieved and those still to do, in one site map kept beside the settings. A crash,
// a kill or a power cut leaves it behind, and the next start offers to take it up; a retrieval
// that ends removes it. A checkpoint that fails is said in window's status bar and, once a
// retrieval, in a message box.
class WindowCheckpoints : public QObject {
    Q_OBJECT
public:
    WindowCheckpoints(Application& app, QMainWindow* window);

    // The map an unfinished retrieval is kept in.
    static QString fileName();
    void retrievalStarted();
    void retrievalEnded();
    // The window closes while the retrieval runs: what it has done and has still to do are saved
    // now, not at the next interval, for the next start to offer.
    void saveBeforeClosing();
    // At start-up: an unfinished retrieval the last run left is offered to be opened with
    // readMap (which asks whether to continue it), or discarded.
    void offerLeftOver(const std::function<int(const QString& fileName, QString& why)>& readMap);

private:
    void tick();
    // The retrieval goes on and the last checkpoint stays; the user hears why.
    void tellFailure(const QString& why);

    Application& m_app;
    QMainWindow* m_window;
    bool m_toldFailure = false;
    CheckpointWriter m_writer;
    QTimer m_timer;
};

} // namespace lurvik
