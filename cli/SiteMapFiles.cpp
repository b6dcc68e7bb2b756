#include "SiteMapFiles.h"

#include "CliCommon.h"

#include <new>
#include <string>

namespace lurvik::cli {

int openSiteMap(SiteMapFile& map, SiteEngine& engine) {
    int result = 0;
    try {
        result = map.open(engine);
    } catch (const std::bad_alloc&) {
        // What was read is freed by now, so there is room for the message.
        printError("cannot open " + map.fileName.str() +
                   ": out of memory: the map is bigger than this machine can hold");
        return 1;
    }
    if (result != 0) {
        printError("cannot open " + map.fileName.str() + ": " + map.failureText(result));
        return result;
    }
    if (!map.extensionWarning.isEmpty())
        printError("warning: " + map.extensionWarning.str());
    return 0;
}

int openMapOutline(MapOutline& map, const std::string& fileName, SiteEngine& engine) {
    int result = 0;
    try {
        result = map.open(fileName, engine);
    } catch (const std::bad_alloc&) {
        printError("cannot open " + fileName +
                   ": out of memory: the map is bigger than this machine can hold");
        return 1;
    }
    if (result != 0) {
        printError("cannot open " + fileName + ": " + map.failureText(result));
        return result;
    }
    if (!map.extensionWarning.isEmpty())
        printError("warning: " + map.extensionWarning.str());
    return 0;
}

int saveSiteMap(SiteMapFile& map, SiteEngine& engine, bool includeHtml) {
    int result = map.save(engine, nullptr, includeHtml);
    if (result != 0)
        printError("cannot save " + map.fileName.str() + ": " + map.failureText(result));
    return result;
}

} // namespace lurvik::cli
