#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace lurvik {

// The link list's image indexes for file types the type table learns while pages are scanned,
// from 12 on (0 to 11 are the link kinds). The table may learn a type on a parsing thread, and
// icons may only be made on the GUI thread, so registering only hands out an index and keeps the
// icon's theme name; the icon itself is made when the list first draws it.
class FileTypeIcons {
public:
    static constexpr int kFirstIndex = 12;
    static FileTypeIcons& instance();

    // Any thread: the index for the icon named iconName (an icon-theme name such as
    // "application-pdf"), the same index each time for the same name.
    int registerIcon(const std::string& iconName);
    // The icon name of an index handed out, or empty.
    std::string iconName(int index);

private:
    std::mutex m_mutex;
    std::vector<std::string> m_names;
};

} // namespace lurvik
