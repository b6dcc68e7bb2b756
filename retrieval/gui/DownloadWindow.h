#pragma once

#include "retrieval/Download.h"

#include <QDialog>

#include <memory>

class QLabel;
class QProgressBar;

namespace lurvik {

// "Download File": one download's progress (file name, bytes, the share of a known length, the
// rate) and Cancel. Modeless and without an owner, so it outlives the main window; it deletes
// itself, and its download, when the download ends or is cancelled.
class DownloadWindow : public QDialog {
    Q_OBJECT
public:
    explicit DownloadWindow(std::unique_ptr<Download> download);
    ~DownloadWindow() override;

    Download& download() const { return *m_download; }
    QString progressText() const;
    int percentage() const;

signals:
    void finished(bool succeeded);

private:
    void refresh();
    void end(bool succeeded);

    std::unique_ptr<Download> m_download;
    QLabel* m_text;
    QProgressBar* m_bar;
    qint64 m_started;
    bool m_ended = false;
};

} // namespace lurvik
