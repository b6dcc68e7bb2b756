#pragma once

#include <map>
#include <string>
#include <string_view>

namespace lurvik {

// The three kinds of value the program keeps, as the Windows registry knew them: REG_DWORD,
// REG_SZ and REG_BINARY.
enum class RegistryType { Number, Text, Binary };

struct RegistryValue {
    std::string name; // as first written, for display; look-ups use the folded name
    RegistryType type = RegistryType::Binary;
    // The stored bytes: a number as 4 bytes little-endian, a text with the length it was
    // written with (zero padding included, no terminator added).
    std::string data;
};

struct RegistryKeyData {
    std::string path; // as first written, segments joined by backslashes
    std::map<std::string, RegistryValue> values;
};

// One hive: every key by its folded path. A key's ancestors are always present, as key creation
// in the registry creates them.
using RegistryTree = std::map<std::string, RegistryKeyData>;

// Key and value names compare without case; only ASCII letters fold, other bytes compare as-is.
std::string foldName(std::string_view name);

// Drops empty segments (leading, trailing or doubled backslashes), so "\A\\B\" names "A\B".
std::string normalizeKeyPath(std::string_view path);

// The key with this normalised path, created with its ancestors when missing.
RegistryKeyData& ensureKey(RegistryTree& tree, const std::string& normalizedPath);

} // namespace lurvik
