#include "FuzzSupport.h"
#include "find/CriteriaFile.h"

using namespace lurvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FindCriteria criteria;
    Str name(fuzz::scratchFile(data, size, ".ifc"));
    if (readCriteriaFile(name, criteria) == 0)
        (void)writeCriteriaFile(criteria, Str(name.str() + ".again.ifc"));
    return 0;
}
