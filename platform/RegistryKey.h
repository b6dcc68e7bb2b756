#pragma once

#include "core/ByteArray.h"
#include "core/Str.h"
#include "platform/RegistryStore.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lurvik {

// A handle on one key of the settings store, used like an open registry key: open or create,
// read and write values, close. Closing a handle that changed something writes the hive file
// (the destructor closes too). Value names compare without case. A handle serves one thread;
// handles on other threads may use the same key at once.
class RegistryKey {
public:
    explicit RegistryKey(RegistryStore& store = RegistryStore::global()) : m_store(store) {}
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    ~RegistryKey() { (void)close(); }

    // 0 when the key exists ("Software\Orvanne\Lurvik\Global"; the empty path is the hive itself).
    // An open handle is closed first.
    [[nodiscard]] int open(Hive hive, std::string_view path);
    // Opens the key, creating it and its parents when missing.
    [[nodiscard]] int create(Hive hive, std::string_view path);
    bool isOpen() const { return m_open; }

    [[nodiscard]] int getNumber(std::string_view name, uint32_t& out) const;
    // The text up to its first zero byte, cut to bufferSize - 1 bytes as a reader with a buffer of
    // that size would get it.
    [[nodiscard]] int getText(std::string_view name, Str& out, int bufferSize = 256) const;
    [[nodiscard]] int getBinary(std::string_view name, ByteArray& out) const;

    // Failures here are rare (a closed handle, a negative length) and most callers go on
    // regardless, as the settings code does; hence no [[nodiscard]].
    int setNumber(std::string_view name, uint32_t value);
    // fixedLength -1 stores the text's own bytes, no terminator; otherwise exactly fixedLength
    // bytes, the text cut or padded with zero bytes.
    int setText(std::string_view name, const Str& text, int fixedLength = -1);
    int setBinary(std::string_view name, const void* data, int n);

    // Writes the hive file when this handle changed something; 0 on success, NotOpen when not open.
    int close();

private:
    int openOrCreate(Hive hive, std::string_view path, bool create);
    int read(std::string_view name, RegistryType type, RegistryValue& out) const;
    int write(std::string_view name, RegistryType type, std::string data);

    RegistryStore& m_store;
    Hive m_hive = Hive::CurrentUser;
    std::string m_keyId;
    std::string m_path;
    bool m_open = false;
    bool m_changed = false;
};

} // namespace lurvik
