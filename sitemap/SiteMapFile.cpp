#include "SiteMapFile.h"

#include "MapBlocks.h"
#include "SiteTree.h"
#include "core/InputFrogFile.h"
#include "core/TempFrogFile.h"

#include <chrono>
#include <ctime>

namespace lurvik {

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
            return temp.write(wide ? kWideMapMagic : kMapMagic, sizeof kMapMagic) != 0 ||
                           temp.write(header) != 0
                       ? 1
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
    bool wide = false;
    if (file.openCompressed(fileName.view()) != 0 || readMapMagic(file, wide) != 0) {
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
    std::vector<int> linkCounts;
    std::vector<int>* counts = links == Links::Skip ? &linkCounts : nullptr;
    // The kinds the statuses give links that are not there.
    std::vector<ResourceLinkKind> unmade;
    int result = readTree(engine, file, trailing, loaded, addresses, wide, storesPages, counts);
    if (result == 1)
        errorText = Str(fileName.str() + " is damaged or cut short");
    if (result == 0 && trailing.len() > 0 &&
        readStatusExtension(engine, trailing, loaded, addresses, checkedLinks, frontier, counts,
                            counts ? &unmade : nullptr) != 0)
        extensionWarning =
            Str(fileName.str() + ": the page statuses after the site map are damaged and were ignored");
    return result;
}

} // namespace lurvik
