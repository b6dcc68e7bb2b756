#include "RegistryStore.h"

#include "core/OutputFrogFile.h"
#include "platform/RegistryFormat.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace lurvik {

namespace {

// A settings file this large is not one this program wrote; reading it as empty is the safe side.
constexpr int64_t kMaxFileSize = 64 * 1024 * 1024;

int code(RegistryError error) {
    return static_cast<int>(error);
}

std::string homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return ".";
}

bool sameFoldedName(std::string_view a, std::string_view b) {
    return foldName(a) == foldName(b);
}

} // namespace

const char* registryErrorText(int value) {
    switch (static_cast<RegistryError>(value)) {
    case RegistryError::None:
        return "no error";
    case RegistryError::NotOpen:
        return "the key is not open";
    case RegistryError::NoKey:
        return "no such key";
    case RegistryError::NoValue:
        return "no such value";
    case RegistryError::WrongType:
        return "the value has another type";
    case RegistryError::BadArgument:
        return "invalid argument";
    case RegistryError::WriteFailed:
        return "the settings file cannot be written";
    }
    return "unknown settings error";
}

int hiveFromName(std::string_view name, Hive& out) {
    if (sameFoldedName(name, "HKEY_CURRENT_USER")) {
        out = Hive::CurrentUser;
        return 0;
    }
    if (sameFoldedName(name, "HKEY_LOCAL_MACHINE")) {
        out = Hive::LocalMachine;
        return 0;
    }
    return code(RegistryError::NoKey);
}

const char* hiveFileName(Hive hive) {
    return hive == Hive::CurrentUser ? "user.reg" : "machine.reg";
}

RegistryStore::RegistryStore(std::string directory)
    : m_directory(directory.empty() ? defaultDirectory() : std::move(directory)) {}

RegistryStore::~RegistryStore() {
    (void)flush();
}

RegistryStore& RegistryStore::global() {
    // Never destroyed: threads may still write their history while static destructors run.
    static RegistryStore* store = new RegistryStore();
    return *store;
}

std::string RegistryStore::defaultDirectory() {
    if (const char* dir = std::getenv("LURVIK_CONFIG_HOME"); dir && *dir)
        return dir;
    // The XDG rules ignore a relative path as if it were unset.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
        return std::string(config) + "/Orvanne/Lurvik";
    return homeDirectory() + "/.config/Orvanne/Lurvik";
}

std::string RegistryStore::filePath(Hive hive) const {
    return m_directory + "/" + hiveFileName(hive);
}

int RegistryStore::flush() {
    int first = flush(Hive::CurrentUser);
    int second = flush(Hive::LocalMachine);
    return first != 0 ? first : second;
}

int RegistryStore::flush(Hive hive) {
    std::lock_guard guard(m_lock);
    return flushLocked(hive);
}

int RegistryStore::openKey(Hive hive, std::string_view path, bool create, std::string& keyId, bool& created) {
    std::lock_guard guard(m_lock);
    refreshLocked(hive);
    HiveState& h = state(hive);
    created = false;
    std::string normalized = normalizeKeyPath(path);
    std::string folded = foldName(normalized);
    if (!normalized.empty() && !h.tree.contains(folded)) {
        if (!create)
            return code(RegistryError::NoKey);
        ensureKey(h.tree, normalized);
        h.createdKeys.insert(folded);
        created = true;
    }
    keyId = std::move(folded);
    return 0;
}

int RegistryStore::readValue(Hive hive, const std::string& keyId, std::string_view name, RegistryValue& out) {
    std::lock_guard guard(m_lock);
    HiveState& h = state(hive);
    auto key = h.tree.find(keyId);
    if (key == h.tree.end())
        return keyId.empty() ? code(RegistryError::NoValue) : code(RegistryError::NoKey);
    auto value = key->second.values.find(foldName(name));
    if (value == key->second.values.end())
        return code(RegistryError::NoValue);
    out = value->second;
    return 0;
}

int RegistryStore::writeValue(Hive hive, const std::string& keyId, const std::string& keyPath,
                              std::string_view name, RegistryType type, std::string data) {
    std::lock_guard guard(m_lock);
    HiveState& h = state(hive);
    // The key may have vanished with a hand-edited file; the open handle still names it.
    RegistryKeyData& key = ensureKey(h.tree, keyPath);
    std::string folded = foldName(name);
    auto [it, added] = key.values.try_emplace(folded);
    if (added)
        it->second.name = name;
    it->second.type = type;
    it->second.data = std::move(data);
    h.changedValues.emplace(keyId, std::move(folded));
    return 0;
}

RegistryStore::FileStamp RegistryStore::stampOf(const std::string& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        stamp.exists = true;
        stamp.device = static_cast<uint64_t>(info.st_dev);
        stamp.inode = static_cast<uint64_t>(info.st_ino);
        stamp.size = static_cast<int64_t>(info.st_size);
        stamp.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    }
    return stamp;
}

void RegistryStore::refreshLocked(Hive hive) {
    HiveState& h = state(hive);
    std::string path = filePath(hive);
    FileStamp now = stampOf(path);
    if (h.loaded && now == h.stamp)
        return;

    std::string text;
    if (now.exists && now.size <= kMaxFileSize) {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            text.resize(static_cast<size_t>(now.size));
            size_t got = 0;
            while (got < text.size()) {
                ssize_t n = ::read(fd, text.data() + got, text.size() - got);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    break;
                got += static_cast<size_t>(n);
            }
            text.resize(got);
            ::close(fd);
        }
    }
    RegistryTree fresh = parseRegistry(text);

    // Pending changes win over the file: they are newer than anything this process has read.
    for (const std::string& keyId : h.createdKeys)
        if (auto key = h.tree.find(keyId); key != h.tree.end())
            ensureKey(fresh, key->second.path);
    for (const auto& [keyId, valueId] : h.changedValues) {
        auto key = h.tree.find(keyId);
        if (key == h.tree.end())
            continue;
        auto value = key->second.values.find(valueId);
        if (value != key->second.values.end())
            ensureKey(fresh, key->second.path).values.insert_or_assign(valueId, value->second);
    }
    h.tree = std::move(fresh);
    h.stamp = now;
    h.loaded = true;
}

int RegistryStore::flushLocked(Hive hive) {
    HiveState& h = state(hive);
    if (h.createdKeys.empty() && h.changedValues.empty())
        return 0;
    std::error_code error;
    std::filesystem::create_directories(m_directory, error);
    if (error)
        return code(RegistryError::WriteFailed);

    // Another process may be merging into the same file; the directory lock orders the
    // read-merge-write cycles so that neither loses the other's values.
    int lockFd = ::open(m_directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockFd >= 0) {
        while (::flock(lockFd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    refreshLocked(hive);
    std::string path = filePath(hive);
    // The settings hold the ratings password's hash and proxy and site details: the owner's only.
    OutputFrogFile out(path, FileAccess::OwnerOnly);
    int result = out.write(Str(formatRegistry(h.tree)));
    if (result == 0)
        result = out.close();
    if (result == 0) {
        h.createdKeys.clear();
        h.changedValues.clear();
        // What was just written needs no re-reading; the next change on disk is someone else's.
        h.stamp = stampOf(path);
    }
    if (lockFd >= 0)
        ::close(lockFd);
    return result == 0 ? 0 : code(RegistryError::WriteFailed);
}

} // namespace lurvik
