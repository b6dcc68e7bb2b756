#include "URL.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>

namespace lurvik {

struct URL::Parts {
    std::string scheme;
    bool hasAuthority = false;
    std::string userInfo;
    bool hasUserInfo = false;
    std::string host;
    std::string port;
    std::string path;
    bool hasQuery = false;
    std::string query;
    bool hasFragment = false;
    std::string fragment;
};

namespace {

using Parts = URL::Parts;

struct SchemeInfo {
    std::string_view name;
    int type;
    int defaultPort;
    bool special; // parsed the way browsers parse web addresses: backslashes, host required
};

constexpr std::array kSchemes = {
    SchemeInfo{"http", URL::Http, 80, true},     SchemeInfo{"https", URL::Http, 443, true},
    SchemeInfo{"ftp", URL::Ftp, 21, true},       SchemeInfo{"file", URL::File, 0, true},
    SchemeInfo{"gopher", URL::Gopher, 70, true}, SchemeInfo{"news", URL::News, 119, false},
    SchemeInfo{"nntp", URL::News, 119, false},   SchemeInfo{"snews", URL::News, 563, false},
    SchemeInfo{"mailto", URL::Mail, 0, false},   SchemeInfo{"ws", URL::Other, 80, true},
    SchemeInfo{"wss", URL::Other, 443, true},
};

const SchemeInfo* schemeInfo(std::string_view scheme) {
    for (const auto& s : kSchemes)
        if (s.name == scheme)
            return &s;
    return nullptr;
}

bool isSpecial(std::string_view scheme) {
    const SchemeInfo* info = schemeInfo(scheme);
    return info && info->special;
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Browsers drop surrounding spaces and controls and every tab and line break inside an address,
// so an href split over two lines still works.
std::string cleanInput(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 0x20)
        --end;
    std::string out;
    out.reserve(end - begin);
    for (size_t i = begin; i < end; ++i)
        if (text[i] != '\t' && text[i] != '\n' && text[i] != '\r')
            out += text[i];
    return out;
}

// Splits "scheme:rest"; returns false when the text has no scheme.
bool splitScheme(std::string_view text, std::string& scheme, std::string_view& rest) {
    if (text.empty() || !isAlpha(text[0]))
        return false;
    for (size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == ':') {
            scheme.assign(text.substr(0, i));
            for (char& ch : scheme)
                ch = lowerAscii(ch);
            rest = text.substr(i + 1);
            return true;
        }
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

// Fills path, query and fragment from the text after the authority (or the whole reference).
void splitPathQueryFragment(std::string_view text, Parts& parts) {
    size_t hash = text.find('#');
    if (hash != std::string_view::npos) {
        parts.hasFragment = true;
        parts.fragment.assign(text.substr(hash + 1));
        text = text.substr(0, hash);
    }
    size_t question = text.find('?');
    if (question != std::string_view::npos) {
        parts.hasQuery = true;
        parts.query.assign(text.substr(question + 1));
        text = text.substr(0, question);
    }
    parts.path.assign(text);
}

// Reads "//authority" off the front of text (which starts after the slashes) and the rest.
void splitAuthority(std::string_view text, Parts& parts) {
    size_t end = text.find_first_of("/?#");
    std::string_view authority = text.substr(0, end);
    parts.hasAuthority = true;
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        parts.hasUserInfo = true;
        parts.userInfo.assign(authority.substr(0, at));
        authority = authority.substr(at + 1);
    }
    size_t colon = authority.rfind(':');
    size_t bracket = authority.rfind(']');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        parts.port.assign(authority.substr(colon + 1));
        authority = authority.substr(0, colon);
        if (parts.port.empty())
            parts.port = "-"; // a colon with no digits; the default applies, as browsers do
    }
    parts.host.assign(authority);
    splitPathQueryFragment(end == std::string_view::npos ? std::string_view() : text.substr(end), parts);
}

void backslashesToSlashes(std::string& text) {
    size_t end = text.find_first_of("?#");
    for (size_t i = 0; i < std::min(end, text.size()); ++i)
        if (text[i] == '\\')
            text[i] = '/';
}

// Parses the text after "scheme:" of an absolute address.
void parseAfterScheme(std::string_view rest, Parts& parts) {
    bool special = isSpecial(parts.scheme);
    if (rest.substr(0, 2) == "//" && !(special && parts.scheme != "file")) {
        splitAuthority(rest.substr(2), parts);
    } else if (special && parts.scheme != "file") {
        // "http:example.com/" and "http:/example.com/" name the host the way browsers read them.
        size_t slashes = rest.find_first_not_of('/');
        splitAuthority(slashes == std::string_view::npos ? std::string_view() : rest.substr(slashes), parts);
    } else {
        splitPathQueryFragment(rest, parts);
    }
}

std::string removeDotSegments(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    while (!path.empty()) {
        if (path.substr(0, 3) == "../") {
            path.remove_prefix(3);
        } else if (path.substr(0, 2) == "./") {
            path.remove_prefix(2);
        } else if (path.substr(0, 3) == "/./") {
            path.remove_prefix(2);
        } else if (path == "/.") {
            path = "/";
        } else if (path.substr(0, 4) == "/../" || path == "/..") {
            path = path.size() == 3 ? std::string_view("/") : path.substr(3);
            size_t last = out.rfind('/');
            out.resize(last == std::string::npos ? 0 : last);
        } else if (path == "." || path == "..") {
            path = {};
        } else {
            size_t next = path.find('/', 1);
            size_t take = next == std::string_view::npos ? path.size() : next;
            out.append(path.substr(0, take));
            path.remove_prefix(take);
        }
    }
    return out;
}

std::string mergePaths(const Parts& base, std::string_view reference) {
    if (base.hasAuthority && base.path.empty())
        return "/" + std::string(reference);
    size_t slash = base.path.rfind('/');
    if (slash == std::string::npos)
        return std::string(reference);
    return base.path.substr(0, slash + 1) + std::string(reference);
}

enum class Component { Path, Query, Fragment, UserInfo };

// Which bytes each component escapes: what cannot go on a request line as it is. Existing
// escapes are kept as written.
struct EscapeTable {
    bool escape[4][256] = {};
    constexpr EscapeTable() {
        for (int component = 0; component < 4; ++component)
            for (int c = 0; c < 256; ++c) {
                bool e = c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>';
                if (component == int(Component::Path) || component == int(Component::Fragment))
                    e = e || c == '`';
                if (component == int(Component::Path))
                    e = e || c == '{' || c == '}';
                escape[component][c] = e;
            }
    }
};
constexpr EscapeTable kEscapes;

void appendEscaped(std::string& out, std::string_view text, Component component) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool* escape = kEscapes.escape[int(component)];
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!escape[c])
            continue;
        out.append(text.substr(start, i - start));
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
        start = i + 1;
    }
    out.append(text.substr(start));
}

// Bytes a host name may not hold; web addresses also refuse "%".
struct HostTable {
    bool forbidden[2][256] = {};
    constexpr HostTable() {
        for (int special = 0; special < 2; ++special)
            for (int c = 0; c < 256; ++c) {
                std::string_view bad = "<>\"^|[]\\/?#@{}`";
                bool f = c <= 0x20 || c == 0x7F || bad.find(static_cast<char>(c)) != std::string_view::npos;
                forbidden[special][c] = f || (special && c == '%');
            }
    }
};
constexpr HostTable kForbiddenInHost;

bool validHost(std::string& host, bool special) {
    for (char& c : host)
        c = lowerAscii(c);
    if (host.empty())
        return true;
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']' || host.find(':') == std::string::npos)
            return false;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            char c = host[i];
            if (!isDigit(c) && !(c >= 'a' && c <= 'f') && c != ':' && c != '.')
                return false;
        }
        return true;
    }
    const bool* forbidden = kForbiddenInHost.forbidden[special ? 1 : 0];
    return std::none_of(host.begin(), host.end(),
                        [&](char c) { return forbidden[static_cast<unsigned char>(c)]; });
}

} // namespace

// The parts of an already normalised URL, read from its offsets rather than parsed again: every
// relative link on a page is resolved against the same base.
URL::Parts URL::parts() const {
    const Fields& f = fields();
    Parts out;
    out.scheme = getScheme();
    out.hasAuthority = f.authority >= f.schemeEnd + 3 && view().substr(f.schemeEnd, 3) == "://";
    if (out.hasAuthority) {
        out.hasUserInfo = f.host > f.authority;
        out.userInfo = getUserInfo();
        out.host = getHost();
        if (f.path > f.hostEnd)
            out.port = part(f.hostEnd + 1, f.path);
    }
    out.path = getPath();
    out.hasQuery = f.query < f.fragment;
    out.query = getCgiArgs();
    out.hasFragment = f.fragment < f.length;
    out.fragment = getBookmark();
    return out;
}

const URL::Fields URL::s_invalid;

URL& URL::operator=(const URL& other) noexcept {
    other.retain();
    release();
    m_data = other.m_data;
    return *this;
}

URL& URL::operator=(URL&& other) noexcept {
    if (this != &other) {
        release();
        m_data = other.m_data;
        other.m_data = nullptr;
    }
    return *this;
}

void URL::release() {
    if (m_data && m_data->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        m_data->~Data();
        ::operator delete(m_data);
    }
    m_data = nullptr;
}

void URL::assign(const Fields& fields, std::string_view text, std::string_view more) {
    const size_t length = text.size() + more.size();
    void* memory = ::operator new(sizeof(Data) + length + 1);
    Data* data = new (memory) Data;
    data->fields = fields;
    data->fields.length = static_cast<int32_t>(length);
    char* chars = reinterpret_cast<char*>(data + 1);
    text.copy(chars, text.size());
    more.copy(chars + text.size(), more.size());
    chars[length] = '\0';
    release();
    m_data = data;
}

void URL::assignPath(Fields fields, std::string_view before, std::string_view path, size_t query,
                     size_t fragment) {
    const auto at = static_cast<int32_t>(before.size());
    fields.path = at;
    fields.file = at + static_cast<int32_t>(path.substr(0, query).rfind('/')) + 1;
    fields.query = at + static_cast<int32_t>(query);
    fields.fragment = at + static_cast<int32_t>(fragment);
    assign(fields, before, path);
}

void URL::clear() {
    release();
}

void URL::setUnparsed(std::string_view text) {
    Fields unparsed;
    unparsed.query = unparsed.fragment = static_cast<int32_t>(text.size());
    assign(unparsed, text);
}

void URL::clearBookmark() {
    const Fields& f = fields();
    if (f.fragment < f.length)
        assign(f, view().substr(0, f.fragment));
}

int URL::setURL(std::string_view text) {
    return setURL(URL(), text);
}

int URL::setURL(std::string_view base, std::string_view text) {
    return setURL(URL(base), text);
}

int URL::setURL(const URL& base, std::string_view input) {
    if (setSimpleAbsolute(input) == 0 || resolveSimplePath(base, input) == 0)
        return 0;
    std::string text = cleanInput(input);
    Parts parts;
    std::string_view rest;
    std::string scheme;
    bool hasScheme = splitScheme(text, scheme, rest);
    bool relative = !hasScheme;
    if (hasScheme && isSpecial(scheme) && base.isValid() && base.getScheme() == scheme &&
        rest.substr(0, 2) != "//" && rest.substr(0, 2) != "\\\\") {
        // "http:page.html" against an http: base is a relative reference, as browsers read it.
        text = std::string(rest);
        relative = true;
    }

    if (!relative) {
        parts.scheme = scheme;
        std::string after(rest);
        if (isSpecial(scheme))
            backslashesToSlashes(after);
        parseAfterScheme(after, parts);
    } else {
        if (!base.isValid()) {
            clear();
            return 1;
        }
        // Every relative link of a page resolves against the same base; keep its parts at hand.
        thread_local std::string lastBase;
        thread_local Parts lastBaseParts;
        if (lastBase != base.view()) {
            lastBaseParts = base.parts();
            lastBase = base.view();
        }
        const Parts& baseParts = lastBaseParts;
        bool baseHierarchical =
            baseParts.hasAuthority || (!baseParts.path.empty() && baseParts.path[0] == '/');
        if (isSpecial(baseParts.scheme))
            backslashesToSlashes(text);
        if (!baseHierarchical && (text.empty() || text[0] != '#')) {
            clear();
            return 1;
        }
        parts.scheme = baseParts.scheme;
        if (text.substr(0, 2) == "//") {
            splitAuthority(std::string_view(text).substr(2), parts);
        } else {
            Parts ref;
            splitPathQueryFragment(text, ref);
            parts.hasAuthority = baseParts.hasAuthority;
            parts.hasUserInfo = baseParts.hasUserInfo;
            parts.userInfo = baseParts.userInfo;
            parts.host = baseParts.host;
            parts.port = baseParts.port;
            if (ref.path.empty()) {
                parts.path = baseParts.path;
                parts.hasQuery = ref.hasQuery || baseParts.hasQuery;
                parts.query = ref.hasQuery ? ref.query : baseParts.query;
            } else {
                parts.path = ref.path[0] == '/' ? ref.path : mergePaths(baseParts, ref.path);
                parts.hasQuery = ref.hasQuery;
                parts.query = ref.query;
            }
            parts.hasFragment = ref.hasFragment;
            parts.fragment = ref.fragment;
        }
    }

    // Assemble and check the parts.
    const SchemeInfo* info = schemeInfo(parts.scheme);
    bool special = info && info->special;
    Fields url;
    url.type = static_cast<int8_t>(info ? info->type : Other);
    url.secure = parts.scheme == "https" || parts.scheme == "wss";
    int defaultPort = info ? info->defaultPort : 0;
    if (!validHost(parts.host, special) || (special && parts.host.empty() && parts.scheme != "file")) {
        clear();
        return 1;
    }
    int port = defaultPort;
    bool explicitPort = false;
    if (!parts.port.empty() && parts.port != "-") {
        if (parts.port.size() > 5 || !std::all_of(parts.port.begin(), parts.port.end(), isDigit)) {
            clear();
            return 1;
        }
        port = std::stoi(parts.port);
        if (port > 65535) {
            clear();
            return 1;
        }
        explicitPort = port != defaultPort;
    }
    url.port = static_cast<uint16_t>(port);

    std::string out;
    out.reserve(text.size() + parts.scheme.size() + 8);
    out = parts.scheme;
    url.schemeEnd = static_cast<int32_t>(out.size());
    out += ':';
    if (parts.hasAuthority) {
        out += "//";
        url.authority = static_cast<int32_t>(out.size());
        if (parts.hasUserInfo) {
            appendEscaped(out, parts.userInfo, Component::UserInfo);
            out += '@';
        }
        url.host = static_cast<int32_t>(out.size());
        out += parts.host;
        url.hostEnd = static_cast<int32_t>(out.size());
        if (explicitPort)
            out += ":" + std::to_string(port);
    } else {
        url.authority = url.host = url.hostEnd = static_cast<int32_t>(out.size());
    }
    url.path = static_cast<int32_t>(out.size());
    bool hierarchical = parts.hasAuthority || (!parts.path.empty() && parts.path[0] == '/');
    std::string path = hierarchical ? removeDotSegments(parts.path) : parts.path;
    if (parts.hasAuthority && special && path.empty())
        path = "/";
    appendEscaped(out, path, Component::Path);
    size_t lastSlash = hierarchical ? out.rfind('/') : std::string::npos;
    url.file = lastSlash == std::string::npos || static_cast<int32_t>(lastSlash) < url.path
                   ? (hierarchical ? url.path : static_cast<int32_t>(out.size()))
                   : static_cast<int32_t>(lastSlash + 1);
    url.query = static_cast<int32_t>(out.size());
    if (parts.hasQuery) {
        out += '?';
        appendEscaped(out, parts.query, Component::Query);
    }
    url.fragment = static_cast<int32_t>(out.size());
    if (parts.hasFragment) {
        out += '#';
        appendEscaped(out, parts.fragment, Component::Fragment);
    }
    assign(url, out);
    return 0;
}

// Most links on a page are a path against an http: base ("p.html", "../d/p.html", "/s/p.html",
// "#top"): merged with the base's path and their dot segments removed, they come out of the full
// parse as they are, which setNormalisedPath checks. Parsing them in full makes a dozen texts
// for each; this makes two. 1, with nothing changed, for anything else.
int URL::resolveSimplePath(const URL& base, std::string_view input) {
    const Fields& b = base.fields();
    if (b.type != Http || input.empty())
        return 1;
    const char first = input[0];
    if (first == '/' ? input.size() > 1 && input[1] == '/' : input.find(':') != std::string_view::npos)
        return 1;
    // Spaces and controls the parse drops or escapes, and backslashes it turns into slashes, must
    // be seen before the dot segments go: "/b/ /.." would lose its space with its last segment.
    if (std::any_of(input.begin(), input.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == '\\'; }))
        return 1;
    thread_local std::string merged;
    const std::string_view baseView = base.view();
    if (first == '#') {
        merged.assign(baseView.substr(b.path, b.fragment - b.path));
        merged += input;
    } else if (first == '?') {
        merged.assign(baseView.substr(b.path, b.query - b.path));
        merged += input;
    } else {
        const size_t tail = static_cast<size_t>(
            std::find_if(input.begin(), input.end(), [](char c) { return c == '?' || c == '#'; }) -
            input.begin());
        std::string_view refPath = input.substr(0, tail);
        std::string_view dir = first == '/' ? std::string_view() : baseView.substr(b.path, b.file - b.path);
        if (refPath.find('.') == std::string_view::npos) {
            merged.assign(dir);
            merged += refPath;
        } else {
            std::string whole(dir);
            whole += refPath;
            merged = removeDotSegments(whole);
        }
        merged += input.substr(tail);
    }
    return setNormalisedPath(base, merged);
}

namespace {

// Where the query and the bookmark of path (from "/") start, when a parse would leave path as
// it is; nothing when it would change it.
struct PathSplit {
    size_t query;
    size_t fragment;
};
std::optional<PathSplit> splitUnchangedPath(std::string_view path) {
    if (path.empty() || path[0] != '/' || (path.size() > 1 && path[1] == '/'))
        return std::nullopt;
    const size_t fragment = std::min(path.find('#'), path.size());
    const size_t query = std::min(path.substr(0, fragment).find('?'), fragment);
    const std::string_view pathPart = path.substr(0, query);
    auto unchanged = [](std::string_view text, Component component) {
        const bool* escape = kEscapes.escape[int(component)];
        return std::none_of(text.begin(), text.end(),
                            [escape](char c) { return escape[static_cast<unsigned char>(c)]; });
    };
    // Backslashes turn into slashes, and dots (spelled out or escaped) are path segments to
    // remove: any of them, and the parse has work to do.
    if (!unchanged(pathPart, Component::Path) ||
        std::any_of(pathPart.begin(), pathPart.end(), [](char c) { return c == '\\' || c == '%'; }) ||
        pathPart.find("/.") != std::string_view::npos ||
        !unchanged(path.substr(query, fragment - query), Component::Query) ||
        !unchanged(path.substr(std::min(fragment + 1, path.size())), Component::Fragment))
        return std::nullopt;
    return PathSplit{query, fragment};
}

} // namespace

int URL::setNormalisedPath(const URL& base, std::string_view path) {
    const Fields& baseFields = base.fields();
    const std::optional<PathSplit> split = splitUnchangedPath(path);
    if (baseFields.type != Http || !split)
        return 1;
    assignPath(baseFields, base.beforePath(), path, split->query, split->fragment);
    return 0;
}

// "http://host/path" and "https://host:port/path", written as a parse would leave them but for a
// default port: a page's links elsewhere and a map's addresses are mostly these. 1, with nothing
// changed, for anything else.
int URL::setSimpleAbsolute(std::string_view input) {
    const bool secure = input.substr(0, 8) == "https://";
    if (!secure && input.substr(0, 7) != "http://")
        return 1;
    const size_t hostAt = secure ? 8 : 7;
    const size_t pathAt = input.find('/', hostAt);
    if (pathAt == std::string_view::npos)
        return 1;
    const std::string_view authority = input.substr(hostAt, pathAt - hostAt);
    // Lower-case names and digits only: anything else (capitals, user names, brackets, escapes,
    // a query before any path) the parse changes or checks.
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || isDigit(c) || c == '.' || c == '-' || c == ':';
    };
    if (!std::all_of(authority.begin(), authority.end(), plain))
        return 1;
    const size_t colon = authority.find(':');
    const std::string_view host = authority.substr(0, colon);
    const int defaultPort = secure ? 443 : 80;
    int port = defaultPort;
    if (colon != std::string_view::npos) {
        const std::string_view digits = authority.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits[0] == '0' ||
            !std::all_of(digits.begin(), digits.end(), isDigit))
            return 1;
        port = 0;
        for (char c : digits)
            port = port * 10 + (c - '0');
        if (port > 65535)
            return 1;
    }
    const std::string_view path = input.substr(pathAt);
    const std::optional<PathSplit> split = splitUnchangedPath(path);
    if (host.empty() || !split)
        return 1;
    Fields fields;
    fields.type = Http;
    fields.secure = secure;
    fields.port = static_cast<uint16_t>(port);
    fields.schemeEnd = static_cast<int32_t>(hostAt - 3);
    fields.authority = fields.host = static_cast<int32_t>(hostAt);
    fields.hostEnd = static_cast<int32_t>(hostAt + host.size());
    const std::string_view before = input.substr(0, port == defaultPort ? fields.hostEnd : pathAt);
    assignPath(fields, before, path, split->query, split->fragment);
    return 0;
}

int URL::setNormalisedURL(std::string_view text, const URL& like) {
    const std::string_view before = like.beforePath();
    if (!before.empty() && text.size() > before.size() && text.substr(0, before.size()) == before &&
        setNormalisedPath(like, text.substr(before.size())) == 0)
        return 0;
    return setURL(text);
}

int URL::getURLString(Str& out, int flag) const {
    if (!isValid()) {
        out.clear();
        return 1;
    }
    out.cpy(flag & 1 ? view() : resourceKey());
    return 0;
}

int URL::sameURL(const URL& other) const {
    return isValid() && other.isValid() && resourceKey() == other.resourceKey();
}

namespace {

bool isIpAddress(std::string_view host) {
    if (!host.empty() && host.front() == '[')
        return true;
    return !host.empty() &&
           std::all_of(host.begin(), host.end(), [](char c) { return isDigit(c) || c == '.'; });
}

// The part of a host name its owner registers: the last two labels, or three under the
// second-level names that countries hand out ("example.co.uk").
std::string_view registeredDomain(std::string_view host) {
    if (!host.empty() && host.back() == '.')
        host.remove_suffix(1);
    if (isIpAddress(host))
        return host;
    size_t last = host.rfind('.');
    if (last == std::string_view::npos || last == 0)
        return host;
    size_t second = host.rfind('.', last - 1);
    if (second == std::string_view::npos)
        return host;
    std::string_view tld = host.substr(last + 1);
    std::string_view sld = host.substr(second + 1, last - second - 1);
    static constexpr std::string_view kSecondLevel[] = {"co",  "com", "net", "org", "gov", "edu",
                                                        "ac",  "or",  "ne",  "go",  "mil", "ltd",
                                                        "plc", "sch", "nhs", "gob"};
    bool countryLevel = tld.size() == 2 && std::find(std::begin(kSecondLevel), std::end(kSecondLevel), sld) !=
                                               std::end(kSecondLevel);
    if (!countryLevel)
        return host.substr(second + 1);
    size_t third = second == 0 ? std::string_view::npos : host.rfind('.', second - 1);
    return third == std::string_view::npos ? host : host.substr(third + 1);
}

} // namespace

int URL::sameDomain(const URL& other) const {
    if (!isValid() || !other.isValid() || getHost().empty() || other.getHost().empty())
        return 0;
    return registeredDomain(getHost()) == registeredDomain(other.getHost());
}

void URL::getFileExt(Str& out) const {
    out.clear();
    std::string_view file = getFilename();
    size_t dot = file.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == file.size())
        return;
    out.cpy(file.substr(dot));
    out.lower();
}

int URL::isHtml() const {
    if (!isHttp())
        return 0;
    Str ext;
    getFileExt(ext);
    if (ext.isEmpty())
        return 1;
    // Pages named by the server technology that makes them are pages all the same; programs
    // named ".cgi", ".pl", ".exe" or ".dll" are not.
    static constexpr std::string_view kPageExtensions[] = {
        ".htm",  ".html",  ".shtm", ".shtml", ".com", ".xhtml", ".xht", ".php",  ".php3", ".php4",
        ".php5", ".phtml", ".asp",  ".aspx",  ".jsp", ".jspx",  ".cfm", ".cfml", ".do"};
    return std::find(std::begin(kPageExtensions), std::end(kPageExtensions), ext.view()) !=
           std::end(kPageExtensions);
}

void URL::ConvertToMemBlock(MemBlock& block, const URL& base) const {
    if (!isValid()) {
        block.cat(Str());
        return;
    }
    // Same scheme and authority: the path alone, which always starts with "/" and so can never
    // be mistaken for the empty text that marks an invalid URL.
    const Fields& f = fields();
    const Fields& b = base.fields();
    if (base.isValid() && f.type == b.type && f.path > f.schemeEnd && b.path == f.path &&
        view().substr(0, f.path) == base.view().substr(0, b.path) && f.path < f.length &&
        view()[f.path] == '/') {
        block.cat(view().substr(f.path));
        return;
    }
    block.cat(view());
}

void URL::ConvertToMemBlock(MemBlock& block, std::string_view base) const {
    ConvertToMemBlock(block, URL(base));
}

int URL::ConvertFromMemBlock(MemBlock& block, const URL& base) {
    std::string_view text;
    if (block.get(text, kMaxStoredLength) != 0)
        return 1;
    if (text.empty()) {
        clear();
        return 0;
    }
    return setURL(base, text);
}

int URL::ConvertFromMemBlock(MemBlock& block, std::string_view base) {
    return ConvertFromMemBlock(block, URL(base));
}

std::string URL::takeUserInfo() {
    const std::string_view info = getUserInfo();
    if (info.empty())
        return {};
    std::string decoded;
    for (size_t i = 0; i < info.size(); ++i) {
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (info[i] == '%' && i + 2 < info.size() && hex(info[i + 1]) >= 0 && hex(info[i + 2]) >= 0) {
            decoded += static_cast<char>(hex(info[i + 1]) * 16 + hex(info[i + 2]));
            i += 2;
        } else {
            decoded += info[i];
        }
    }
    std::string rest =
        std::string(view().substr(0, fields().authority)) + std::string(view().substr(fields().host));
    setURL(rest);
    return decoded;
}

} // namespace lurvik
