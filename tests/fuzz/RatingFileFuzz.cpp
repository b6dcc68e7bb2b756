#include "FuzzSupport.h"
#include "analysis/RatingSystem.h"

using namespace lurvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RatingSystem system;
    if (system.loadFile(Str(fuzz::scratchFile(data, size, ".rat"))) == 0) {
        int rated = 0, verdict = 0;
        system.evaluate(Str("(v 1 s 2 n 3 l 4)"), rated, verdict, 1, 0, 1);
    }
    return 0;
}
