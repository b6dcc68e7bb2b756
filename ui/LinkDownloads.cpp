#include "LinkDownloads.h"

#include "analysis/LinkRecord.h"
#include "platform/gui/QtText.h"
#include "retrieval/gui/DownloadWindow.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include <memory>

namespace lurvik {

DownloadWindow* LinkDownloads::startDownload(const URL& url, const QString& fileName) {
    auto download = std::make_unique<Download>(m_pool, url, fileName.toStdString());
    if (download->start() != 0)
        return nullptr;
    auto* window = new DownloadWindow(std::move(download));
    window->show();
    return window;
}

void LinkDownloads::saveLinkAs(const LinkRecord& link, QWidget* owner) {
    Str name(link.url.getFilename());
    QString fileName = QFileDialog::getSaveFileName(owner, QStringLiteral("Save As"), fromStr(name));
    if (fileName.isEmpty())
        return;
    if (!startDownload(link.url, fileName))
        QMessageBox::warning(owner, QStringLiteral("Lurvik Error"),
                             QStringLiteral("Cannot create %1.").arg(QDir::toNativeSeparators(fileName)));
}

} // namespace lurvik
