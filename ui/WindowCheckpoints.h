#pragma once

#include "sitemap/CheckpointWriter.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace lurvik {

class Application;

// The window's retrieval saved as it goes, at the interval of the "CheckpointSeconds" setting:
// the pages retrieved and those still to do, in one site map kept beside the settings. A crash,
// a kill or a power cut leaves it behind, and the next start offers to take it up; a retrieval
// that ends removes it.
class WindowCheckpoints : public QObject {
    Q_OBJECT
public:
    explicit WindowCheckpoints(Application& app, QObject* parent = nullptr);

    // The map an unfinished retrieval is kept in.
    static QString fileName();
    void retrievalStarted();
    void retrievalEnded();
    // The window closes while the retrieval runs: what it has done and has still to do are saved
    // now, not at the next interval, for the next start to offer.
    void saveBeforeClosing();

signals:
    // A checkpoint could not be written; the retrieval goes on and the last one stays.
    void failed(const QString& why);

private:
    void tick();

    Application& m_app;
    CheckpointWriter m_writer;
    QTimer m_timer;
};

} // namespace lurvik
