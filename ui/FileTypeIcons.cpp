#include "FileTypeIcons.h"

namespace lurvik {

FileTypeIcons& FileTypeIcons::instance() {
    static FileTypeIcons icons;
    return icons;
}

int FileTypeIcons::registerIcon(const std::string& iconName) {
    std::lock_guard guard(m_mutex);
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == iconName)
            return kFirstIndex + static_cast<int>(i);
    m_names.push_back(iconName);
    return kFirstIndex + static_cast<int>(m_names.size() - 1);
}

std::string FileTypeIcons::iconName(int index) {
    std::lock_guard guard(m_mutex);
    int i = index - kFirstIndex;
    return i >= 0 && i < static_cast<int>(m_names.size()) ? m_names[i] : std::string();
}

} // namespace lurvik
