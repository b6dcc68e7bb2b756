#include "FuzzSupport.h"
#include "MapOutlineCheck.h"
#include "sitemap/SiteMapFile.h"

using namespace lurvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SiteEngine engine;
    SiteMapFile map;
    map.fileName = fuzz::scratchFile(data, size, ".web");
    const int loaded = map.open(engine);
    fuzz::checkOutline(map.fileName.str(), loaded, engine.doneNodes.len());
    if (loaded == 0) {
        // A map that loads must also save: the writer meets whatever the reader let through.
        map.fileName = map.fileName.str() + ".again";
        (void)map.save(engine, nullptr, true);
    }
    return 0;
}
