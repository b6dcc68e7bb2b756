#include "DownloadWindow.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace lurvik {

DownloadWindow::DownloadWindow(std::unique_ptr<Download> download)
    : QDialog(nullptr, Qt::Window), m_download(std::move(download)), m_text(new QLabel(this)),
      m_bar(new QProgressBar(this)), m_started(QDateTime::currentMSecsSinceEpoch()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Download File"));
    m_bar->setRange(0, 100);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Receiving:"), this));
    layout->addWidget(m_text);
    layout->addWidget(m_bar);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { end(false); });
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &DownloadWindow::refresh);
    timer->start(250);
    resize(420, sizeHint().height());
    // Only the text now: a download that has already ended must still tell whoever connects to
    // finished once the window exists, so ending waits for the first tick.
    m_text->setText(progressText());
}

DownloadWindow::~DownloadWindow() = default;

QString DownloadWindow::progressText() const {
    QString name = QFileInfo(QString::fromStdString(m_download->fileName())).fileName();
    qint64 written = m_download->written();
    qint64 length = m_download->contentLength();
    double seconds = std::max<qint64>(1, QDateTime::currentMSecsSinceEpoch() - m_started) / 1000.0;
    QString rate = QStringLiteral(", %1 KB/s").arg(written / 1024.0 / seconds, 0, 'f', 0);
    if (length > 0)
        return QStringLiteral("%1 (%2K/%3K)%4")
            .arg(name)
            .arg(written / 1024)
            .arg((length + 1023) / 1024)
            .arg(rate);
    return QStringLiteral("%1 (%2K)%3").arg(name).arg(written / 1024).arg(rate);
}

int DownloadWindow::percentage() const {
    qint64 length = m_download->contentLength();
    return length > 0 ? static_cast<int>(std::min<qint64>(100, m_download->written() * 100 / length)) : 0;
}

void DownloadWindow::refresh() {
    m_text->setText(progressText());
    m_bar->setValue(percentage());
    if (m_download->isFinished())
        end(m_download->hasSucceeded());
}

void DownloadWindow::end(bool succeeded) {
    if (m_ended)
        return;
    m_ended = true;
    m_download->stop();
    emit finished(succeeded && m_download->hasSucceeded());
    close();
}

} // namespace lurvik
