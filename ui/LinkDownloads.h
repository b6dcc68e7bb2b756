#pragma once

#include <QString>

class QWidget;

namespace lurvik {

class AgentPool;
class DownloadWindow;
class LinkRecord;
class URL;

// Links saved to files, each by a download with a window of its own. A download window has no
// owner: it stays until its download ends, even after the main window has gone.
class LinkDownloads {
public:
    explicit LinkDownloads(AgentPool& pool) : m_pool(pool) {}

    // Saves url's target to fileName; null when the file cannot be created.
    DownloadWindow* startDownload(const URL& url, const QString& fileName);
    // Asks where to save link's target, named after it, then downloads it there; a file that
    // cannot be created is told in a box over owner.
    void saveLinkAs(const LinkRecord& link, QWidget* owner);

private:
    AgentPool& m_pool;
};

} // namespace lurvik
