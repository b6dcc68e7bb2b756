#pragma once

#include "MemBlock.h"
#include "Str.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace lurvik {

// A parsed web address. The parts are kept in one normalised text (lower-case scheme and host,
// default port dropped, "." and ".." segments removed, percent-escapes kept as written) so a URL
// costs one allocation; the accessors return views into it, valid until the URL changes.
//
// Type codes: -1 invalid (text that does not parse), 0 a scheme the program does not know,
// 1 HTTP (http: and https:), 2 file, 3 FTP, 4 Gopher, 5 news, 6 mail.
class URL {
public:
    enum Type { Invalid = -1, Other = 0, Http = 1, File = 2, Ftp = 3, Gopher = 4, News = 5, Mail = 6 };

    URL() = default;
    explicit URL(std::string_view text) { setURL(text); }

    // Both return 0 on success; text that does not parse leaves the URL invalid (type -1).
    int setURL(std::string_view text);
    int setURL(const URL& base, std::string_view text);
    int setURL(std::string_view base, std::string_view text);

    // Flag 1 includes the bookmark ("#..."); flag 0 leaves it out. 1 for an invalid URL.
    int getURLString(Str& out, int flag = 1) const;
    const std::string& text() const { return m_text; }
    // The text that names the resource: everything but the bookmark. Equal keys are sameURL.
    std::string_view resourceKey() const { return std::string_view(m_text).substr(0, m_fragment); }

    int sameURL(const URL& other) const;
    int sameDomain(const URL& other) const;
    int isHtml() const;
    // The file name's extension in lower case with its dot (".html"); empty when there is none.
    void getFileExt(Str& out) const;

    // Appends the URL to block relative to base, so a site map stores each address compactly.
    void ConvertToMemBlock(MemBlock& block, const URL& base) const;
    void ConvertToMemBlock(MemBlock& block, std::string_view base) const;
    [[nodiscard]] int ConvertFromMemBlock(MemBlock& block, const URL& base);
    [[nodiscard]] int ConvertFromMemBlock(MemBlock& block, std::string_view base);

    void clear();
    // Drops "user:password@" and returns it with its percent-escapes decoded (empty when none):
    // credentials in an address are used, never shown or stored with it.
    std::string takeUserInfo();
    // Drops the "#..." part: what is left names the whole page.
    void clearBookmark() { m_text.resize(m_fragment); }

    bool isValid() const { return m_type != Invalid; }
    bool isHttp() const { return m_type == Http; }
    bool isSecure() const { return m_secure; }
    bool isCgiBin() const { return isHttp() && !getCgiArgs().empty(); }
    int getType() const { return m_type; }
    int getPort() const { return m_port; }
    std::string_view getScheme() const { return part(0, m_schemeEnd); }
    std::string_view getUserInfo() const { return m_host > m_authority ? part(m_authority, m_host - 1) : ""; }
    std::string_view getHost() const { return part(m_host, m_hostEnd); }
    // Host with ":port" when the port is not the scheme's default: the Host header's value.
    std::string_view getHostAndPort() const { return part(m_host, m_path); }
    std::string_view getDir() const { return part(m_path, m_file); }
    std::string_view getFilename() const { return part(m_file, m_query); }
    std::string_view getPath() const { return part(m_path, m_query); }
    // Path and query: what a request asks for.
    std::string_view getRequestTarget() const { return part(m_path, m_fragment); }
    std::string_view getCgiArgs() const { return m_query < m_fragment ? part(m_query + 1, m_fragment) : ""; }
    std::string_view getBookmark() const {
        return m_fragment < static_cast<int>(m_text.size()) ? part(m_fragment + 1, m_text.size()) : "";
    }

    struct Parts;

private:
    Parts parts() const;
    std::string_view part(int begin, int end) const {
        return begin < end ? std::string_view(m_text).substr(begin, end - begin) : std::string_view();
    }

    std::string m_text;
    int m_type = Invalid;
    int m_port = 0;
    bool m_secure = false;
    int32_t m_schemeEnd = 0;
    int32_t m_authority = 0; // first byte after "//", or the path start when there is no authority
    int32_t m_host = 0;
    int32_t m_hostEnd = 0;
    int32_t m_path = 0;
    int32_t m_file = 0;
    int32_t m_query = 0;    // index of '?', or the fragment start when there is no query
    int32_t m_fragment = 0; // index of '#', or the text length when there is no bookmark
};

} // namespace lurvik
