#include "MimeDatabase.h"

#include "core/Str.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace lurvik {

namespace {

std::vector<std::string> splitPaths(const char* value, const char* fallback) {
    std::string text = value && *value ? value : fallback;
    std::vector<std::string> out;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ':'))
        if (!item.empty())
            out.push_back(item);
    return out;
}

std::string lower(std::string text) {
    for (char& c : text)
        c = lowerAscii(c);
    return text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

} // namespace

std::vector<std::string> MimeDatabase::defaultDirectories() {
    std::vector<std::string> out;
    const char* home = std::getenv("HOME");
    std::string dataHome = home ? std::string(home) + "/.local/share" : "";
    for (const std::string& dir : splitPaths(std::getenv("XDG_DATA_HOME"), dataHome.c_str()))
        out.push_back(dir + "/mime");
    for (const std::string& dir : splitPaths(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share"))
        out.push_back(dir + "/mime");
    return out;
}

MimeDatabase::MimeDatabase(std::vector<std::string> mimeDirectories)
    : m_directories(std::move(mimeDirectories)) {}

void MimeDatabase::load() {
    if (m_loaded)
        return;
    m_loaded = true;
    for (const std::string& dir : m_directories) {
        std::ifstream globs(dir + "/globs2");
        std::string line;
        while (std::getline(globs, line)) {
            // weight:type:glob[:flags]; only plain "*.ext" globs name an extension.
            if (line.empty() || line[0] == '#')
                continue;
            size_t first = line.find(':');
            size_t second = first == std::string::npos ? first : line.find(':', first + 1);
            if (second == std::string::npos)
                continue;
            size_t third = line.find(':', second + 1);
            std::string glob =
                line.substr(second + 1, third == std::string::npos ? third : third - second - 1);
            if (glob.size() < 3 || glob.compare(0, 2, "*.") != 0 ||
                glob.find_first_of("*?[", 2) != std::string::npos)
                continue;
            m_globs.push_back(
                {std::atoi(line.c_str()), line.substr(first + 1, second - first - 1), lower(glob.substr(1))});
        }
        std::ifstream icons(dir + "/icons");
        while (std::getline(icons, line)) {
            size_t colon = line.find(':');
            if (colon != std::string::npos)
                m_icons.emplace_back(line.substr(0, colon), line.substr(colon + 1));
        }
    }
}

std::string MimeDatabase::typeForExtension(const std::string& extension) {
    load();
    std::string wanted = lower(extension);
    const Glob* best = nullptr;
    for (const Glob& glob : m_globs)
        if (glob.extension == wanted && (!best || glob.weight > best->weight))
            best = &glob;
    return best ? best->type : std::string();
}

std::string MimeDatabase::comment(const std::string& type) {
    if (type.empty() || type.find("..") != std::string::npos)
        return {};
    for (const std::string& dir : m_directories) {
        std::string xml = readFile(dir + "/" + type + ".xml");
        // The first comment without an xml:lang attribute is the English one.
        for (size_t at = xml.find("<comment"); at != std::string::npos; at = xml.find("<comment", at + 1)) {
            size_t close = xml.find('>', at);
            if (close == std::string::npos)
                break;
            if (xml.compare(at, close - at, "<comment") != 0)
                continue;
            size_t end = xml.find("</comment>", close);
            if (end == std::string::npos)
                break;
            Str text(std::string_view(xml).substr(close + 1, end - close - 1));
            text.decodeISO();
            text.strip();
            return text.str();
        }
    }
    return {};
}

std::string MimeDatabase::iconName(const std::string& type) {
    load();
    for (const auto& [name, icon] : m_icons)
        if (name == type)
            return icon;
    std::string icon = type;
    for (char& c : icon)
        if (c == '/')
            c = '-';
    return icon;
}

} // namespace lurvik
