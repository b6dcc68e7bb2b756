#include "FuzzSupport.h"
#include "analysis/HtmlScanner.h"

using namespace lurvik;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Str title, labels;
    LinkList links;
    scanPage(Str(reinterpret_cast<const char*>(data), static_cast<int>(size)),
             URL("http://fuzz.example/d/p.html"), title, links, labels);
    return 0;
}
