#include "SiteMapFile.h"

#include "SiteTree.h"
#include "core/InputFrogFile.h"
#include "core/TempFrogFile.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace lurvik {

namespace {

constexpr char kMagic[12] = "LURVKMAP1.0";
// The same layout with 32-bit page counts and ids, for maps of more than 65,535 pages.
constexpr char kWideMagic[12] = "LURVKMAP2.0";

} // namespace

const char* siteMapErrorText(int code) {
    switch (code) {
    case 0:
        return "no error";
    case 4001:
        return "Cannot Save Map while link is active.";
    case 4002:
        return "Nothing to Save!";
    case 4003:
        return "The site has more pages than a site map can hold.";
    case 4004:
        return "Nothing to Load in Map!";
    case 4005:
        return "Map Already Loaded";
    default:
        return "not a site map, or the file could not be read or written";
    }
}

int SiteMapFile::save(SiteEngine& engine, SiteNode* root, bool includeHtml) {
    errorText.clear();
    savedAt = localTimeNow();
    TempFrogFile temp;
    if (!temp.isOpen()) {
        errorText = temp.errorText();
        return 1;
    }
    MemBlock header;
    header.cat(authorName);
    header.cat(description);
    catSystemTime(header, savedAt);
    header.cat(Str());
    // Only a map that needs the wide layout gets it: every other stays readable by older readers.
    int result = writeTree(
        engine, root, includeHtml, temp, checkedLinks,
        [&](bool wide) {
            return temp.write(wide ? kWideMagic : kMagic, sizeof kMagic) != 0 || temp.write(header) != 0 ? 1
                                                                                                         : 0;
        },
        frontier.isEmpty() ? nullptr : &frontier);
    if (result == 1)
        errorText = temp.errorText();
    if (result == 0 && temp.compress(fileName.view()) != 0) {
        errorText = temp.errorText();
        result = 1;
    }
    (void)temp.close();
    return result;
}

int SiteMapFile::open(SiteEngine& engine) {
    errorText.clear();
    InputFrogFile file;
    char magic[sizeof kMagic] = {};
    bool wide = false;
    if (file.openCompressed(fileName.view()) != 0 || file.readExact(magic, sizeof magic) != 0 ||
        (std::memcmp(magic, kMagic, sizeof magic) != 0 &&
         !(wide = std::memcmp(magic, kWideMagic, sizeof magic) == 0))) {
        errorText =
            file.errorText().isEmpty() ? Str(fileName.str() + " is not a site map") : file.errorText();
        return 1;
    }
    MemBlock header;
    if (file.read(header) != 0 || header.get(authorName) != 0 || header.get(description) != 0 ||
        getSystemTime(header, savedAt) != 0 || header.get(reserved) != 0) {
        errorText = Str(fileName.str() + " is damaged: its header is incomplete");
        return 1;
    }
    MemBlock trailing;
    std::vector<SiteNode*> loaded;
    MapAddresses addresses;
    int result = readTree(engine, file, trailing, loaded, addresses, wide, storesPages);
    if (result == 1)
        errorText = Str(fileName.str() + " is damaged or cut short");
    if (result == 0 && trailing.len() > 0 &&
        readStatusExtension(engine, trailing, loaded, addresses, checkedLinks, frontier) != 0)
        extensionWarning =
            Str(fileName.str() + ": the page statuses after the site map are damaged and were ignored");
    return result;
}

} // namespace lurvik
