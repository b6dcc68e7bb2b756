#pragma once

#include "MimeDatabase.h"
#include "core/Str.h"
#include "core/URL.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace lurvik {

class LinkRecord;

struct FileTypeEntry {
    Str extension; // as URL::getFileExt gives it: lower case, with its dot
    Str typeName;
    Str iconFile;
    int iconIndex = 0;
    int imageIndex = 0; // index in the views' image list; 0 when none was registered
};

// Web document types by file extension: ten preset entries, and the types learnt from the
// system's file-type database as links name them. Entries are never removed.
//
// Parsing threads add entries while the main thread reads them, so the table has a private lock;
// nothing else is locked or called back into while it is held, except onRegisterFileIcon, which
// must not call back into the table.
class FileTypeTable {
public:
    using RegisterFileIcon = std::function<int(const Str& extension, const Str& iconFile, int iconIndex)>;

    FileTypeTable();
    explicit FileTypeTable(std::vector<std::string> mimeDirectories);

    // 0 with the type of the link's extension (hyperlinks to HTTP addresses and images only);
    // 1 when there is none. The outputs are cleared first.
    int lookupFileType(const LinkRecord& link, Str& typeName, Str& iconFile, int& iconIndex);
    // Learns the link's extension as lookupFileType does, without handing anything out: every
    // link record made calls it, and a map of a million pages makes tens of millions.
    void noteFileType(const LinkRecord& link);
    int imageIndexForURL(const URL& url, int& index);
    int imageIndexForTypeName(const Str& name, int& index);
    // Each distinct type name once, in table order.
    void typeNames(std::vector<Str>& list);
    int size();

    // Pages whose address names no type but whose server said they are HTML ("/docs/" served as
    // text/html): their links are typed "Html Page" like those to ".html" files.
    void noteHtmlPage(const URL& url);
    bool isHtmlPage(const URL& url);

    RegisterFileIcon onRegisterFileIcon;

private:
    const FileTypeEntry* find(const Str& extension) const;
    int learnFileType(const Str& extension, Str& typeName, Str& iconFile, int& iconIndex);

    std::mutex m_mutex;
    std::deque<FileTypeEntry> m_entries;
    // Hashes of the addresses, not their texts: a modern site names most of its pages so.
    std::unordered_set<size_t> m_htmlPages;
    MimeDatabase m_mime;
};

// What link records need from the site engine: the longest link text and the type table. The
// engine provides it; a record made while no engine exists uses the defaults and no table.
constexpr int kDefaultMaxPageLinks = 100000;

struct LinkEnvironment {
    int maxLinkText = 45;
    // Link records kept for one page; 0 or less keeps them all.
    int maxPageLinks = kDefaultMaxPageLinks;
    FileTypeTable typeTable;
};
extern LinkEnvironment* theLinkEnvironment;

} // namespace lurvik
