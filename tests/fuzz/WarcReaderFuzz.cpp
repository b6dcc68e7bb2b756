#include "FuzzSupport.h"
#include "core/WarcReader.h"

#include <cstdlib>
#include <utility>
#include <vector>

using namespace lurvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WarcReader reader;
    if (reader.open(fuzz::scratchFile(data, size, ".warc")) != 0)
        return 0;
    WarcRecord record;
    std::vector<std::pair<int64_t, int64_t>> whole;
    char piece[4096];
    for (int got; (got = reader.next(record)) != 0;) {
        if (got < 0)
            continue;
        while (reader.readBlock(piece, sizeof piece) > 0) {
        }
        if (reader.finishRecord() == 0)
            whole.emplace_back(record.offset, record.skip);
    }
    // The import finds a page again by where the index pass found it: every record read whole
    // must read again from there.
    for (const auto& [offset, skip] : whole)
        if (reader.readAt(offset, skip, record) != 1)
            std::abort();
    return 0;
}
