#include "RegistryData.h"

namespace lurvik {

std::string foldName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::string normalizeKeyPath(std::string_view path) {
    std::string out;
    size_t at = 0;
    while (at <= path.size()) {
        size_t end = path.find('\\', at);
        if (end == std::string_view::npos)
            end = path.size();
        if (end > at) {
            if (!out.empty())
                out += '\\';
            out.append(path.substr(at, end - at));
        }
        at = end + 1;
    }
    return out;
}

RegistryKeyData& ensureKey(RegistryTree& tree, const std::string& normalizedPath) {
    // Ancestors that exist keep the case they were created with; new segments take the caller's.
    std::string display;
    size_t at = 0;
    for (;;) {
        size_t end = normalizedPath.find('\\', at);
        std::string_view segment =
            std::string_view(normalizedPath).substr(at, end == std::string::npos ? end : end - at);
        std::string wanted = at == 0 ? std::string(segment) : display + "\\" + std::string(segment);
        auto [it, added] = tree.try_emplace(foldName(wanted));
        if (added)
            it->second.path = wanted;
        display = it->second.path;
        if (end == std::string::npos)
            return it->second;
        at = end + 1;
    }
}

} // namespace lurvik
