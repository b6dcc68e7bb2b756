#pragma once

#include "platform/RegistryData.h"

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace lurvik {

class RegistryKey;

enum class Hive { CurrentUser, LocalMachine };

enum class RegistryError : int {
    None = 0,
    NotOpen,     // the key handle is not open
    NoKey,       // the key does not exist
    NoValue,     // the key has no value of that name
    WrongType,   // the value exists with another type
    BadArgument, // a buffer size below 1, or a negative length
    WriteFailed, // the hive file could not be written; the changes stay pending
};

// A short English description of a RegistryError code.
const char* registryErrorText(int code);

// "HKEY_CURRENT_USER" and "HKEY_LOCAL_MACHINE" (any case); 0 when known.
[[nodiscard]] int hiveFromName(std::string_view name, Hive& out);
// "user.reg" and "machine.reg".
const char* hiveFileName(Hive hive);

// The settings store that stands in for the Windows registry: the same key paths, value names and
// value types, kept as one text file per hive (see RegistryFormat.h). Changes are written, merged
// with what other processes wrote meanwhile, when a key handle that changed something is closed or
// on flush(); another process sees them on its next key open. Safe to use from several threads.
class RegistryStore {
public:
    // An empty directory means defaultDirectory().
    explicit RegistryStore(std::string directory = {});
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;
    // Writes what is still pending.
    ~RegistryStore();

    // The program's store, in defaultDirectory() as the environment gives it at first use.
    static RegistryStore& global();
    // $LURVIK_CONFIG_HOME, else $XDG_CONFIG_HOME/Orvanne/Lurvik, else ~/.config/Orvanne/Lurvik.
    static std::string defaultDirectory();

    const std::string& directory() const { return m_directory; }
    std::string filePath(Hive hive) const;

    // Writes every hive with pending changes; 0 on success.
    [[nodiscard]] int flush();
    [[nodiscard]] int flush(Hive hive);

private:
    friend class RegistryKey;

    // What the file looked like when it was last read or written, to notice another writer.
    struct FileStamp {
        bool exists = false;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t size = 0;
        int64_t modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };

    struct HiveState {
        RegistryTree tree;
        bool loaded = false;
        FileStamp stamp;
        // Changes not yet in the file, by folded key path and folded value name.
        std::set<std::string> createdKeys;
        std::set<std::pair<std::string, std::string>> changedValues;
    };

    // For RegistryKey. keyId receives the folded path that names the key afterwards; created
    // tells whether this call made the key.
    int openKey(Hive hive, std::string_view path, bool create, std::string& keyId, bool& created);
    int readValue(Hive hive, const std::string& keyId, std::string_view name, RegistryValue& out);
    int writeValue(Hive hive, const std::string& keyId, const std::string& keyPath, std::string_view name,
                   RegistryType type, std::string data);

    static FileStamp stampOf(const std::string& path);
    HiveState& state(Hive hive) { return m_hives[hive == Hive::CurrentUser ? 0 : 1]; }
    // Re-reads the file when it changed on disk since it was last seen, keeping pending changes.
    void refreshLocked(Hive hive);
    int flushLocked(Hive hive);

    std::string m_directory;
    std::mutex m_lock;
    HiveState m_hives[2];
};

} // namespace lurvik
