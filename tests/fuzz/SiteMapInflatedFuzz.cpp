#include "FuzzSupport.h"
#include "MapOutlineCheck.h"
#include "core/TempFrogFile.h"
#include "sitemap/SiteMapFile.h"

using namespace lurvik;

// The input is a map's content before compression: mutations reach the map's own reader instead
// of dying in decompression.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string name = fuzz::scratchFile(nullptr, 0, ".web");
    {
        TempFrogFile content;
        if (content.write(data, static_cast<int>(size)) != 0 || content.compress(name) != 0)
            return 0;
    }
    SiteEngine engine;
    SiteMapFile map;
    map.fileName = name;
    const int loaded = map.open(engine);
    fuzz::checkOutline(name, loaded, engine.doneNodes.len());
    return 0;
}
