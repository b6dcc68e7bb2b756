#include "RegistryKey.h"

#include <algorithm>

namespace lurvik {

namespace {

int code(RegistryError error) {
    return static_cast<int>(error);
}

} // namespace

int RegistryKey::open(Hive hive, std::string_view path) {
    return openOrCreate(hive, path, false);
}

int RegistryKey::create(Hive hive, std::string_view path) {
    return openOrCreate(hive, path, true);
}

int RegistryKey::openOrCreate(Hive hive, std::string_view path, bool create) {
    if (m_open)
        (void)close();
    std::string keyId;
    bool created = false;
    if (int error = m_store.openKey(hive, path, create, keyId, created))
        return error;
    m_hive = hive;
    m_keyId = std::move(keyId);
    m_path = normalizeKeyPath(path);
    m_open = true;
    // A key made here reaches other processes only once the file is written.
    m_changed = created;
    return 0;
}

int RegistryKey::read(std::string_view name, RegistryType type, RegistryValue& out) const {
    if (!m_open)
        return code(RegistryError::NotOpen);
    if (int error = m_store.readValue(m_hive, m_keyId, name, out))
        return error;
    return out.type == type ? 0 : code(RegistryError::WrongType);
}

int RegistryKey::getNumber(std::string_view name, uint32_t& out) const {
    RegistryValue value;
    if (int error = read(name, RegistryType::Number, value))
        return error;
    if (value.data.size() != 4)
        return code(RegistryError::WrongType);
    uint32_t number = 0;
    for (int i = 0; i < 4; ++i)
        number |= static_cast<uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
    out = number;
    return 0;
}

int RegistryKey::getText(std::string_view name, Str& out, int bufferSize) const {
    if (bufferSize < 1)
        return code(RegistryError::BadArgument);
    RegistryValue value;
    if (int error = read(name, RegistryType::Text, value))
        return error;
    size_t end = value.data.find('\0');
    if (end == std::string::npos)
        end = value.data.size();
    end = std::min(end, static_cast<size_t>(bufferSize - 1));
    value.data.resize(end);
    out.str() = std::move(value.data);
    return 0;
}

int RegistryKey::getBinary(std::string_view name, ByteArray& out) const {
    RegistryValue value;
    if (int error = read(name, RegistryType::Binary, value))
        return error;
    out.clear();
    out.append(value.data.data(), static_cast<int>(value.data.size()));
    return 0;
}

int RegistryKey::write(std::string_view name, RegistryType type, std::string data) {
    if (!m_open)
        return code(RegistryError::NotOpen);
    if (int error = m_store.writeValue(m_hive, m_keyId, m_path, name, type, std::move(data)))
        return error;
    m_changed = true;
    return 0;
}

int RegistryKey::setNumber(std::string_view name, uint32_t value) {
    std::string data;
    for (int i = 0; i < 4; ++i)
        data += static_cast<char>((value >> (8 * i)) & 0xFF);
    return write(name, RegistryType::Number, std::move(data));
}

int RegistryKey::setText(std::string_view name, const Str& text, int fixedLength) {
    if (fixedLength < -1)
        return code(RegistryError::BadArgument);
    std::string data = text.str();
    if (fixedLength >= 0)
        data.resize(static_cast<size_t>(fixedLength), '\0');
    return write(name, RegistryType::Text, std::move(data));
}

int RegistryKey::setBinary(std::string_view name, const void* data, int n) {
    if (n < 0 || (n > 0 && !data))
        return code(RegistryError::BadArgument);
    return write(name, RegistryType::Binary,
                 std::string(static_cast<const char*>(data), static_cast<size_t>(n)));
}

int RegistryKey::close() {
    if (!m_open)
        return code(RegistryError::NotOpen);
    m_open = false;
    bool changed = m_changed;
    m_changed = false;
    return changed ? m_store.flush(m_hive) : 0;
}

} // namespace lurvik
