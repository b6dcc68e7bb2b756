#include "StaticFiles.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace lurvik::test {

namespace {

std::string percentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned value = 0;
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::sscanf(text.c_str() + i + 1, "%2x", &value) == 1) {
            out += static_cast<char>(value);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// ".." would serve files outside the fixture tree; a NUL would cut the name short.
bool isSafe(const std::string& path) {
    if (path.empty() || path.front() != '/' || path.find('\0') != std::string::npos)
        return false;
    std::size_t start = 1;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

std::string httpDate(std::time_t time) {
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
    return text;
}

std::string contentTypeFor(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    const std::size_t slash = fileName.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "application/octet-stream";
    std::string extension = fileName.substr(dot + 1);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::map<std::string, std::string> types = {
        {"html", "text/html"}, {"htm", "text/html"}, {"css", "text/css"},   {"js", "application/javascript"},
        {"png", "image/png"},  {"gif", "image/gif"}, {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
        {"txt", "text/plain"}};
    const auto found = types.find(extension);
    return found == types.end() ? "application/octet-stream" : found->second;
}

} // namespace

int loadStaticFile(const std::string& root, const std::string& path, Page& page) {
    std::string relative = percentDecode(path.substr(0, path.find('?')));
    if (root.empty() || !isSafe(relative))
        return 1;
    if (relative.back() == '/')
        relative += "index.html";
    const std::string fileName = root + relative;
    struct stat info {};
    if (stat(fileName.c_str(), &info) != 0)
        return 1;
    if (S_ISDIR(info.st_mode)) {
        Page redirect = statusPage(301);
        redirect.headers.push_back({"Location", path.substr(0, path.find('?')) + "/"});
        page = redirect;
        return 0;
    }
    std::ifstream file(fileName, std::ios::binary);
    if (!S_ISREG(info.st_mode) || !file)
        return 1;
    std::ostringstream body;
    body << file.rdbuf();
    Page loaded;
    loaded.contentType = contentTypeFor(fileName);
    loaded.body = body.str();
    loaded.lastModified = httpDate(info.st_mtime);
    page = loaded;
    return 0;
}

} // namespace lurvik::test
