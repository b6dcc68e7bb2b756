#pragma once

#include <string>
#include <vector>

namespace lurvik {

// The freedesktop shared-mime-info database, this platform's store of file types: which type a
// file extension names (globs2), what the type is called (its comment) and its icon name.
class MimeDatabase {
public:
    // The directories named by XDG_DATA_HOME and XDG_DATA_DIRS, in that order, each with "/mime".
    static std::vector<std::string> defaultDirectories();
    explicit MimeDatabase(std::vector<std::string> mimeDirectories);

    // The type for an extension given with its dot (".txt"); empty when none is known.
    std::string typeForExtension(const std::string& extension);
    // The type's description in English; empty when the database has none.
    std::string comment(const std::string& type);
    // The icon name: the database's own, else the type with "/" turned into "-".
    std::string iconName(const std::string& type);

private:
    struct Glob {
        int weight;
        std::string type;
        std::string extension; // lower case, with its dot
    };
    void load();

    std::vector<std::string> m_directories;
    bool m_loaded = false;
    std::vector<Glob> m_globs;
    std::vector<std::pair<std::string, std::string>> m_icons;
};

} // namespace lurvik
