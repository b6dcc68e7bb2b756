#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace lurvik::fuzz {

namespace {

// Never destroyed: the exit handler that removes the folder runs after static destructors would.
const std::string& scratchFolder() {
    static const std::string* folder = [] {
        char pattern[] = "/tmp/lurvik-fuzz-XXXXXX";
        auto* made = new std::string(mkdtemp(pattern) ? pattern : "/tmp/lurvik-fuzz");
        setenv("LURVIK_CONFIG_HOME", made->c_str(), 1);
        setenv("XDG_CACHE_HOME", made->c_str(), 1);
        std::atexit([] { std::filesystem::remove_all(scratchFolder()); });
        return made;
    }();
    return *folder;
}

} // namespace

std::string scratchFile(const uint8_t* data, size_t size, const char* extension) {
    std::string path = scratchFolder() + "/input" + extension;
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        if (size > 0)
            std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    return path;
}

} // namespace lurvik::fuzz
