#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lurvik::test {

// The whole file as bytes; empty when it cannot be read.
std::string readFileBytes(const std::string& path);

// Replaces the file's bytes; a failure shows in what a later read gives back.
void writeFileBytes(const std::string& path, std::string_view bytes);

// Sets an environment variable (or unsets it, for null) until the object goes, then puts back
// what was there before.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix = "lurvik-test");
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
    // Empty when no folder could be made.
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A temporary folder that the program takes for the user's settings and cache folders
// (LURVIK_CONFIG_HOME, XDG_CACHE_HOME), so a test never reads or writes the real ones. Programs
// the test starts inherit it.
class TemporaryHome : public TemporaryDirectory {
public:
    explicit TemporaryHome(const std::string& prefix = "lurvik-home");
};

} // namespace lurvik::test
