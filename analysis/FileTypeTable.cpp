#include "FileTypeTable.h"

#include "LinkRecord.h"

namespace lurvik {

LinkEnvironment* theLinkEnvironment = nullptr;

FileTypeTable::FileTypeTable() : FileTypeTable(MimeDatabase::defaultDirectories()) {}

FileTypeTable::FileTypeTable(std::vector<std::string> mimeDirectories) : m_mime(std::move(mimeDirectories)) {
    static constexpr const char* kPresets[][2] = {
        {".htm", "Html Page"},         {".html", "Html Page"},
        {".com", "Html Page"},         {".shtm", "Html (SSI) Page"},
        {".shtml", "Html (SSI) Page"}, {".cgi", "CGI-bin"},
        {".exe", "CGI-bin"},           {".pl", "CGI-bin"},
        {".dll", "CGI-bin"},           {".map", "Server ImageMap"},
    };
    for (const auto& preset : kPresets) {
        FileTypeEntry entry;
        entry.extension = preset[0];
        entry.typeName = preset[1];
        m_entries.push_back(std::move(entry));
    }
}

const FileTypeEntry* FileTypeTable::find(const Str& extension) const {
    for (const FileTypeEntry& entry : m_entries)
        if (entry.extension == extension)
            return &entry;
    return nullptr;
}

int FileTypeTable::lookupFileType(const LinkRecord& link, Str& typeName, Str& iconFile, int& iconIndex) {
    typeName.clear();
    iconFile.clear();
    iconIndex = 0;
    int kind = link.effectiveKind();
    if (kind != LINK_HTTP && kind != LINK_IMAGE)
        return 1;
    Str extension;
    link.url.getFileExt(extension);
    if (extension.isEmpty())
        return 1;
    {
        std::lock_guard guard(m_mutex);
        if (const FileTypeEntry* entry = find(extension)) {
            typeName = entry->typeName;
            iconFile = entry->iconFile;
            iconIndex = entry->iconIndex;
            return 0;
        }
    }
    return learnFileType(extension, typeName, iconFile, iconIndex);
}

void FileTypeTable::noteHtmlPage(const URL& url) {
    const size_t key = std::hash<std::string_view>()(url.resourceKey());
    std::lock_guard guard(m_mutex);
    m_htmlPages.insert(key);
}

bool FileTypeTable::isHtmlPage(const URL& url) {
    const size_t key = std::hash<std::string_view>()(url.resourceKey());
    std::lock_guard guard(m_mutex);
    return m_htmlPages.count(key) != 0;
}

void FileTypeTable::noteFileType(const LinkRecord& link) {
    int kind = link.effectiveKind();
    if (kind != LINK_HTTP && kind != LINK_IMAGE)
        return;
    Str extension;
    link.url.getFileExt(extension);
    if (extension.isEmpty())
        return;
    {
        std::lock_guard guard(m_mutex);
        if (find(extension))
            return;
    }
    Str typeName, iconFile;
    int iconIndex = 0;
    learnFileType(extension, typeName, iconFile, iconIndex);
}

int FileTypeTable::learnFileType(const Str& extension, Str& typeName, Str& iconFile, int& iconIndex) {
    Str name;
    Str icon;
    {
        std::lock_guard guard(m_mutex);
        std::string type = m_mime.typeForExtension(extension.str());
        if (type.empty())
            return 1;
        name = m_mime.comment(type);
        if (name.isEmpty())
            return 1;
        icon = m_mime.iconName(type);
        if (icon.isEmpty())
            return 1;
        // Another thread may have learnt the same extension meanwhile.
        if (find(extension) == nullptr) {
            FileTypeEntry entry;
            entry.extension = extension;
            entry.typeName = name;
            entry.iconFile = icon;
            m_entries.push_back(std::move(entry));
        }
    }
    int imageIndex = onRegisterFileIcon ? onRegisterFileIcon(extension, icon, 0) : 0;
    if (imageIndex > 0) {
        std::lock_guard guard(m_mutex);
        for (FileTypeEntry& entry : m_entries)
            if (entry.extension == extension)
                entry.imageIndex = imageIndex;
    }
    typeName = name;
    iconFile = icon;
    iconIndex = 0;
    return 0;
}

int FileTypeTable::imageIndexForURL(const URL& url, int& index) {
    Str extension;
    url.getFileExt(extension);
    std::lock_guard guard(m_mutex);
    const FileTypeEntry* entry = find(extension);
    if (!entry)
        return 1;
    index = entry->imageIndex;
    return 0;
}

int FileTypeTable::imageIndexForTypeName(const Str& name, int& index) {
    std::lock_guard guard(m_mutex);
    for (const FileTypeEntry& entry : m_entries) {
        if (entry.typeName == name) {
            index = entry.imageIndex;
            return 0;
        }
    }
    return 1;
}

void FileTypeTable::typeNames(std::vector<Str>& list) {
    list.clear();
    std::lock_guard guard(m_mutex);
    for (const FileTypeEntry& entry : m_entries) {
        bool seen = false;
        for (const Str& name : list)
            seen = seen || name == entry.typeName;
        if (!seen)
            list.push_back(entry.typeName);
    }
}

int FileTypeTable::size() {
    std::lock_guard guard(m_mutex);
    return static_cast<int>(m_entries.size());
}

} // namespace lurvik
