#include "FuzzSupport.h"
#include "retrieval/AgentPool.h"
#include "retrieval/RetrievalScheduler.h"
#include "retrieval/SiteEngine.h"
#include "retrieval/WarcImport.h"

using namespace lurvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SiteEngine engine;
    AgentPool pool;
    RetrievalScheduler scheduler(engine, pool);
    WarcImport archive(engine, scheduler);
    if (archive.addFile(fuzz::scratchFile(data, size, ".warc")) != 0 || archive.firstPage().empty())
        return 0;
    archive.run(URL(archive.firstPage()), false, {});
    return 0;
}
