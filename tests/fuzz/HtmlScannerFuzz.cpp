#include "FuzzSupport.h"
#include "analysis/HtmlScanner.h"

using namespace lurvik;

// Both readings of the same bytes: the original tag table and the browser's tokenizer.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Str page(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (LinkReading reading : {LinkReading::Classic, LinkReading::Browser}) {
        Str title, labels;
        LinkList links;
        scanPage(page, URL("http://fuzz.example/d/p.html"), title, links, labels, reading);
    }
    return 0;
}
