#include "SiteGenerator.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace lurvik::test {

namespace {

// SplitMix64 rather than <random>: the standard distributions differ between library
// versions, and a seed must name the same site on every machine.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        m_state += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = m_state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(next() % bound); }
    bool percent(std::size_t chance) { return below(100) < chance; }

private:
    std::uint64_t m_state;
};

enum class Tag { Anchor, Area, Frame };
enum class Kind { Page, BrokenPage, Image, MissingImage, Download, MissingDownload, External, Mailto, Ftp };
enum class Extra {
    RandomPage,
    SameDirectoryPage,
    Self,
    Duplicate,
    BrokenPage,
    External,
    Mailto,
    Ftp,
    Download,
    MissingDownload,
    Image,
    MissingImage
};

struct Link {
    Tag tag = Tag::Anchor;
    Kind kind = Kind::Page;
    std::string target; // site path without fragment, or the URL as written
    std::string written;
};

struct Directory {
    std::string path; // "/s1/d2/"
    int depth = 0;
    std::size_t childCount = 0;
    std::vector<std::size_t> pages;
};

struct PagePlan {
    std::string path;
    std::size_t directory = 0;
    std::string title; // as a reader sees it
    std::string titleHtml;
    bool isUtf8 = false;
    bool isLarge = false;
    bool isFrameset = false;
    bool hasMap = false;
    std::size_t childCount = 0;
    std::vector<Link> links; // <a>, <area>, <frame>
    std::vector<Link> images;
};

constexpr std::size_t kMaxLinks = 15;
constexpr std::size_t kMaxChildren = 8; // leaves room for extras within kMaxLinks
constexpr int kMaxDepth = 4;

const std::array kPlainTopics = {"Harbour notes",  "Annual report", "Opening hours", "Product range",
                                 "Press releases", "Site news",     "Staff pages",   "Travel guide",
                                 "Price list",     "Garden diary",  "Recipe box",    "Contact details"};
const std::array kEntityTopics = {"Fish &amp; chips", "Research &amp; development", "Terms &amp; conditions",
                                  "Q&amp;A corner"};
const std::array kUtf8Topics = {"Café menu",      "Grüße aus Köln", "Smørrebrød", "Ελληνικά νέα",
                                "日本語のページ", "Новости",        "Año nuevo",  "Crème brûlée"};
const std::array kWords = {"lorem",  "harbour", "quiet",   "window", "ledger", "morning", "copper", "meadow",
                           "signal", "orchard", "lantern", "gravel", "timber", "violet",  "anchor", "pebble"};
const std::array kExternalUrls = {"http://elsewhere.example/x.html", "http://www.other-domain.example/",
                                  "https://elsewhere.example/docs/index.html",
                                  "http://elsewhere.example:8080/away.html"};
const std::array kMailtoUrls = {"mailto:webmaster@elsewhere.example", "mailto:info@other-domain.example"};

// Every site carries each of these at least once, whatever its size, spread over its first
// pages, so that even a two-page site exercises every kind of link.
const std::array kForcedExtras = {
    Extra::Self,     Extra::Duplicate,       Extra::BrokenPage, Extra::External,
    Extra::External, Extra::Mailto,          Extra::Ftp,        Extra::Download,
    Extra::Download, Extra::MissingDownload, Extra::Image,      Extra::MissingImage};

std::vector<std::string> splitDirectory(const std::string& directory) {
    std::vector<std::string> parts;
    std::size_t start = 1;
    while (start < directory.size()) {
        const std::size_t end = directory.find('/', start);
        parts.push_back(directory.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string directoryOf(const std::string& path) {
    return path.substr(0, path.rfind('/') + 1);
}

std::string relativePath(const std::string& fromDirectory, const std::string& target) {
    const std::vector<std::string> from = splitDirectory(fromDirectory);
    const std::vector<std::string> to = splitDirectory(directoryOf(target));
    std::size_t common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common])
        ++common;
    std::string result;
    for (std::size_t i = common; i < from.size(); ++i)
        result += "../";
    for (std::size_t i = common; i < to.size(); ++i)
        result += to[i] + "/";
    return result + target.substr(target.rfind('/') + 1);
}

std::string decodeAmpersands(std::string text) {
    for (std::size_t at = text.find("&amp;"); at != std::string::npos; at = text.find("&amp;", at + 1))
        text.erase(at + 1, 4);
    return text;
}

std::string gifBytes() {
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04,
                                        0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return std::string(reinterpret_cast<const char*>(gif), sizeof gif);
}

// An empty archive whose comment names the file, or a PDF header and trailer around it:
// small, valid enough for a type sniffer, and different per file.
std::string downloadBytes(const std::string& path) {
    if (path.ends_with(".pdf"))
        return "%PDF-1.4\n% " + path + "\n%%EOF\n";
    std::string zip("PK\x05\x06", 4);
    zip.append(16, '\0');
    zip += static_cast<char>(path.size() & 0xff);
    zip += static_cast<char>(path.size() >> 8);
    return zip + path;
}

class SitePlanner {
public:
    explicit SitePlanner(const SiteOptions& options)
        : m_random(options.seed), m_pageCount(std::max<std::size_t>(options.pageCount, 1)) {}

    void build(std::map<std::string, std::string>& files, SiteManifest& manifest);

private:
    void makeDirectories();
    void makePages();
    void makeSpanningTree();
    void makeLinks(std::size_t page, const std::vector<Extra>& forced);
    void addExtra(std::size_t page, Extra extra);
    void addPageLink(std::size_t page, Kind kind, const std::string& target);
    void addImage(std::size_t page, bool exists);
    void assignFramesAndAreas(PagePlan& page);
    std::string writeLink(const PagePlan& from, const std::string& target, bool mayHaveFragment);
    std::string renderPage(const PagePlan& page);
    std::string renderLink(const Link& link);
    std::string filler(std::size_t bytes);
    void fillManifest(SiteManifest& manifest);

    Random m_random;
    std::size_t m_pageCount;
    std::vector<Directory> m_directories;
    std::vector<PagePlan> m_pages;
    std::vector<std::string> m_brokenPages;
    std::vector<std::string> m_images;
    std::vector<std::string> m_downloads;
    std::size_t m_missingCount = 0;
    std::size_t m_externalCount = 0;
    std::map<std::string, std::string> m_files;
};

void SitePlanner::makeDirectories() {
    const std::size_t count = std::min(m_pageCount, m_pageCount / 12 + 1);
    m_directories.push_back({"/", 0, 0, {}});
    for (std::size_t i = 1; i < count; ++i) {
        std::size_t parent = m_random.below(i);
        if (m_directories[parent].depth >= kMaxDepth)
            parent = 0;
        Directory& above = m_directories[parent];
        const std::string name = (above.depth == 0 ? "s" : "d") + std::to_string(++above.childCount);
        m_directories.push_back({above.path + name + "/", above.depth + 1, 0, {}});
    }
}

void SitePlanner::makePages() {
    for (std::size_t i = 0; i < m_pageCount; ++i) {
        PagePlan page;
        // The first pages are the directory indexes, so every directory has one.
        page.directory = i < m_directories.size() ? i : m_random.below(m_directories.size());
        const Directory& directory = m_directories[page.directory];
        page.path =
            directory.path + (i < m_directories.size() ? "index.html" : "p" + std::to_string(i) + ".html");
        page.isUtf8 = m_random.percent(4) && i != 0;
        const bool hasEntity = m_random.percent(4);
        page.isLarge = m_random.percent(2);
        if (i == 0)
            page.titleHtml = "Welcome";
        else if (page.isUtf8)
            page.titleHtml = kUtf8Topics[m_random.below(kUtf8Topics.size())];
        else if (i < m_directories.size())
            page.titleHtml = "Contents of " + directory.path;
        else
            page.titleHtml = kPlainTopics[m_random.below(kPlainTopics.size())];
        if (hasEntity)
            page.titleHtml += std::string(" - ") + kEntityTopics[m_random.below(kEntityTopics.size())];
        page.titleHtml += " " + std::to_string(i);
        page.title = decodeAmpersands(page.titleHtml);
        m_directories[page.directory].pages.push_back(i);
        m_pages.push_back(page);
    }
    // A site too small for the odds still gets one page of each sort.
    const auto none = [this](auto member) {
        return std::none_of(m_pages.begin(), m_pages.end(),
                            [member](const PagePlan& p) { return p.*member; });
    };
    if (none(&PagePlan::isUtf8)) {
        PagePlan& page = m_pages[m_pageCount / 4];
        page.isUtf8 = true;
        page.titleHtml = std::string(kUtf8Topics[0]) + " " + page.titleHtml;
        page.title = decodeAmpersands(page.titleHtml);
    }
    if (std::none_of(m_pages.begin(), m_pages.end(),
                     [](const PagePlan& p) { return p.titleHtml.find("&amp;") != std::string::npos; })) {
        PagePlan& page = m_pages[m_pageCount / 5];
        page.titleHtml = std::string(kEntityTopics[0]) + " " + page.titleHtml;
        page.title = decodeAmpersands(page.titleHtml);
    }
    if (none(&PagePlan::isLarge))
        m_pages[m_pageCount - 1].isLarge = true;
}

void SitePlanner::makeSpanningTree() {
    std::vector<std::size_t> order(m_pageCount);
    for (std::size_t i = 0; i < m_pageCount; ++i)
        order[i] = i;
    for (std::size_t i = m_pageCount - 1; i > 1; --i)
        std::swap(order[i], order[1 + m_random.below(i)]);
    for (std::size_t placed = 1; placed < m_pageCount; ++placed) {
        // Half the parents come from the last few pages placed, which makes long chains and
        // so a site several levels deep; the other half keep it bushy.
        const std::size_t window = std::min<std::size_t>(placed, 10);
        std::size_t pick =
            m_random.percent(50) ? placed - 1 - m_random.below(window) : m_random.below(placed);
        while (m_pages[order[pick]].childCount >= kMaxChildren)
            pick = (pick + 1) % placed;
        PagePlan& parent = m_pages[order[pick]];
        ++parent.childCount;
        addPageLink(order[pick], Kind::Page, m_pages[order[placed]].path);
    }
}

std::string SitePlanner::writeLink(const PagePlan& from, const std::string& target, bool mayHaveFragment) {
    const std::string relative = relativePath(m_directories[from.directory].path, target);
    const std::size_t form = m_random.below(100);
    std::string written;
    if (form < 55)
        written = relative;
    else if (form < 70)
        written = relative.starts_with("../") ? relative : "./" + relative;
    else
        written = target;
    if (mayHaveFragment && m_random.percent(15))
        written += m_random.percent(50) ? "#sec" : "#part2";
    return written;
}

void SitePlanner::addPageLink(std::size_t page, Kind kind, const std::string& target) {
    Link link;
    link.kind = kind;
    link.target = target;
    link.written = writeLink(m_pages[page], target, true);
    m_pages[page].links.push_back(link);
}

void SitePlanner::addImage(std::size_t page, bool exists) {
    const std::string& directory = m_directories[m_pages[page].directory].path;
    Link link;
    link.kind = exists ? Kind::Image : Kind::MissingImage;
    if (exists && !m_images.empty() && m_random.percent(50)) {
        link.target = m_images[m_random.below(m_images.size())];
    } else if (exists) {
        const std::string name = std::to_string(m_images.size() + 1) + ".gif";
        link.target = m_random.percent(50) ? "/img/i" + name : directory + "pic" + name;
        m_images.push_back(link.target);
    } else {
        const std::string name = std::to_string(++m_missingCount) + ".gif";
        link.target = m_random.percent(50) ? "/img/none" + name : directory + "nopic" + name;
    }
    link.written = writeLink(m_pages[page], link.target, false);
    m_pages[page].images.push_back(link);
}

void SitePlanner::addExtra(std::size_t page, Extra extra) {
    PagePlan& plan = m_pages[page];
    const std::string& directory = m_directories[plan.directory].path;
    Link link;
    switch (extra) {
    case Extra::RandomPage:
        addPageLink(page, Kind::Page, m_pages[m_random.below(m_pageCount)].path);
        return;
    case Extra::SameDirectoryPage: {
        const std::vector<std::size_t>& neighbours = m_directories[plan.directory].pages;
        addPageLink(page, Kind::Page, m_pages[neighbours[m_random.below(neighbours.size())]].path);
        return;
    }
    case Extra::Self:
        link.target = plan.path;
        link.written = m_random.percent(30) ? "#sec" : writeLink(plan, plan.path, true);
        break;
    case Extra::Duplicate: {
        // The same page again, usually written another way, so a crawler must normalise
        // before it decides it has seen a link.
        const auto earlier = std::find_if(plan.links.begin(), plan.links.end(),
                                          [](const Link& l) { return l.kind == Kind::Page; });
        if (earlier == plan.links.end()) {
            addExtra(page, Extra::RandomPage);
            addExtra(page, Extra::Duplicate);
            return;
        }
        addPageLink(page, Kind::Page, earlier->target);
        return;
    }
    case Extra::BrokenPage: {
        if (!m_brokenPages.empty() && m_random.percent(30)) {
            addPageLink(page, Kind::BrokenPage, m_brokenPages[m_random.below(m_brokenPages.size())]);
            return;
        }
        const std::string name = "gone" + std::to_string(++m_missingCount) + ".html";
        const std::size_t where = m_random.below(100);
        if (where < 50)
            link.target = directory + name;
        else if (where < 80)
            link.target = m_directories[m_random.below(m_directories.size())].path + name;
        else
            link.target = "/old/" + name;
        m_brokenPages.push_back(link.target);
        addPageLink(page, Kind::BrokenPage, link.target);
        return;
    }
    case Extra::External: {
        const std::size_t index = m_externalCount++;
        link.kind = Kind::External;
        link.target = index < kExternalUrls.size() || m_random.percent(50)
                          ? kExternalUrls[index % kExternalUrls.size()]
                          : "http://elsewhere.example/p" + std::to_string(m_random.below(50)) + ".html";
        break;
    }
    case Extra::Mailto:
        link.kind = Kind::Mailto;
        link.target = kMailtoUrls[m_random.below(kMailtoUrls.size())];
        break;
    case Extra::Ftp:
        link.kind = Kind::Ftp;
        link.target = "ftp://ftp.elsewhere.example/pub/file" + std::to_string(m_random.below(5)) + ".tar.gz";
        break;
    case Extra::Download:
        link.kind = Kind::Download;
        if (!m_downloads.empty() && m_random.percent(50)) {
            link.target = m_downloads[m_random.below(m_downloads.size())];
        } else {
            const std::size_t number = m_downloads.size() + 1;
            const std::string name = number % 2 == 1 ? "f" + std::to_string(number) + ".zip"
                                                     : "r" + std::to_string(number) + ".pdf";
            link.target = (m_random.percent(70) ? std::string("/files/") : directory) + name;
            m_downloads.push_back(link.target);
        }
        break;
    case Extra::MissingDownload: {
        link.kind = Kind::MissingDownload;
        const std::size_t number = ++m_missingCount;
        link.target = (m_random.percent(70) ? std::string("/files/") : directory) + "lost" +
                      std::to_string(number) + (number % 2 == 1 ? ".zip" : ".pdf");
        break;
    }
    case Extra::Image:
    case Extra::MissingImage:
        addImage(page, extra == Extra::Image);
        return;
    }
    if (link.written.empty())
        link.written = link.kind == Kind::Download || link.kind == Kind::MissingDownload
                           ? writeLink(plan, link.target, false)
                           : link.target;
    plan.links.push_back(link);
}

void SitePlanner::makeLinks(std::size_t page, const std::vector<Extra>& forced) {
    PagePlan& plan = m_pages[page];
    const std::size_t budget = 2 + m_random.below(kMaxLinks - 1);
    for (const Extra extra : forced)
        addExtra(page, extra);
    const auto pageLinks = [&plan] {
        return static_cast<std::size_t>(std::count_if(plan.links.begin(), plan.links.end(),
                                                      [](const Link& l) { return l.kind == Kind::Page; }));
    };
    const std::size_t needed = (plan.isFrameset ? 2 : 0) + (plan.hasMap ? 1 : 0);
    while (pageLinks() < needed)
        addExtra(page, Extra::RandomPage);

    static const std::array<std::pair<Extra, std::size_t>, 10> menu = {{{Extra::RandomPage, 56},
                                                                        {Extra::SameDirectoryPage, 15},
                                                                        {Extra::Self, 4},
                                                                        {Extra::Duplicate, 8},
                                                                        {Extra::BrokenPage, 3},
                                                                        {Extra::External, 4},
                                                                        {Extra::Mailto, 2},
                                                                        {Extra::Ftp, 2},
                                                                        {Extra::Download, 4},
                                                                        {Extra::MissingDownload, 2}}};
    while (plan.isFrameset && plan.links.size() < budget)
        addExtra(page, Extra::RandomPage);
    while (plan.links.size() < budget) {
        std::size_t roll = m_random.below(100);
        for (const auto& [extra, weight] : menu) {
            if (roll < weight) {
                addExtra(page, extra);
                break;
            }
            roll -= weight;
        }
    }
    // Only a duplicate on a page without page links adds two at once, and dropping the
    // duplicate keeps the cap without losing a tree link: those come first.
    if (plan.links.size() > kMaxLinks)
        plan.links.resize(kMaxLinks);
    for (std::size_t images = plan.isFrameset ? 0 : m_random.below(3); images > 0; --images)
        addImage(page, m_random.percent(85));
    if (plan.hasMap)
        addImage(page, true);
}

void SitePlanner::assignFramesAndAreas(PagePlan& page) {
    std::size_t frames = page.isFrameset ? page.links.size() : 0;
    std::size_t areas = page.hasMap ? 1 + m_random.below(3) : 0;
    for (Link& link : page.links) {
        // A frame or area whose source is the page's own "#sec" would only load it again.
        if (link.kind != Kind::Page || link.written.starts_with("#"))
            continue;
        if (frames > 0) {
            link.tag = Tag::Frame;
            --frames;
        } else if (areas > 0) {
            link.tag = Tag::Area;
            --areas;
        }
    }
}

std::string SitePlanner::filler(std::size_t bytes) {
    std::string text;
    while (bytes >= 16) {
        std::size_t paragraph = std::min(bytes, 200 + m_random.below(400));
        if (bytes - paragraph < 16)
            paragraph = bytes;
        std::string words;
        while (words.size() < paragraph - 8)
            words += std::string(kWords[m_random.below(kWords.size())]) + " ";
        words.resize(paragraph - 8);
        text += "<p>" + words + "</p>\n";
        bytes -= paragraph;
    }
    return text + std::string(bytes, '\n');
}

std::string SitePlanner::renderLink(const Link& link) {
    // Scanners meet every quoting and case; most links still look like most of the web.
    const std::size_t style = m_random.below(100);
    const char quote = style >= 85 && style < 93 ? '\'' : '"';
    const bool isUpper = style >= 93;
    const std::string value = quote + link.written + quote;
    std::string text = link.target.substr(link.target.rfind('/') + 1);
    if (text.empty())
        text = "home";
    switch (link.tag) {
    case Tag::Frame:
        return std::string(isUpper ? "<FRAME SRC=" : "<frame src=") + value + ">\n";
    case Tag::Area:
        return std::string(isUpper ? "<AREA SHAPE=\"rect\" COORDS=\"0,0,10,10\" HREF="
                                   : "<area shape=\"rect\" coords=\"0,0,10,10\" href=") +
               value + " alt=\"" + text + "\">\n";
    case Tag::Anchor:
        break;
    }
    if (isUpper)
        return "<p><A HREF=" + value + ">" + text + "</A></p>\n";
    if (style < 10)
        return "<p><a class=\"nav\" href=" + value + " title=\"go\">" + text + "</a></p>\n";
    return "<p><a href=" + value + ">" + text + "</a></p>\n";
}

std::string SitePlanner::renderPage(const PagePlan& page) {
    std::string head = page.isFrameset ? "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Frameset//EN\">\n"
                                       : "<!DOCTYPE html>\n";
    head += "<html>\n<head>\n";
    if (page.isUtf8)
        head += "<meta charset=\"utf-8\">\n";
    head += "<title>" + page.titleHtml + "</title>\n</head>\n";
    std::string frames;
    std::string areas;
    std::vector<std::string> anchors;
    for (const Link& link : page.links) {
        const std::string html = renderLink(link);
        if (link.tag == Tag::Frame)
            frames += html;
        else if (link.tag == Tag::Area)
            areas += html;
        else
            anchors.push_back(html);
    }
    std::string images;
    for (std::size_t i = 0; i < page.images.size(); ++i) {
        const bool isMap = page.hasMap && i + 1 == page.images.size();
        images += "<p><img src=\"" + page.images[i].written + "\"" + (isMap ? " usemap=\"#nav\"" : "") +
                  " alt=\"picture\"></p>\n";
    }
    if (!areas.empty())
        images += "<map name=\"nav\">\n" + areas + "</map>\n";

    const std::string open =
        page.isFrameset ? "<frameset cols=\"30%,70%\">\n" + frames + "<noframes>\n<body>\n" : "<body>\n";
    const std::string close =
        page.isFrameset ? "</body>\n</noframes>\n</frameset>\n</html>\n" : "</body>\n</html>\n";
    std::string firstHalf = "<h1 id=\"sec\">" + page.titleHtml + "</h1>\n" + images;
    std::string secondHalf = "<h2 id=\"part2\">More</h2>\n";
    for (std::size_t i = 0; i < anchors.size(); ++i)
        (i < anchors.size() / 2 ? firstHalf : secondHalf) += anchors[i];

    // Padding sits between the halves so a parser that stops early misses links.
    const std::size_t bare = head.size() + open.size() + firstHalf.size() + secondHalf.size() + close.size();
    const std::size_t wanted = page.isLarge ? 20480 + m_random.below(20481) : 1024 + m_random.below(3073);
    return head + open + firstHalf + filler(wanted > bare ? wanted - bare : 0) + secondHalf + close;
}

void SitePlanner::fillManifest(SiteManifest& manifest) {
    // Breadth first in link order: levels are shortest distances, and each referrer is the
    // first page in that order to hold the link.
    std::map<std::string, std::size_t> pageIndex;
    for (std::size_t i = 0; i < m_pageCount; ++i)
        pageIndex[m_pages[i].path] = i;
    std::map<Kind, std::map<std::string, SiteEntry>> rows;
    const auto note = [&rows](Kind kind, const std::string& target, const std::string& referrer, int level) {
        SiteEntry& entry = rows[kind][target];
        if (entry.target.empty()) {
            entry.target = target;
            entry.referrer = referrer;
            entry.level = level;
        }
    };
    note(Kind::Page, "/index.html", "", 0);
    std::deque<std::size_t> queue = {0};
    while (!queue.empty()) {
        const PagePlan& page = m_pages[queue.front()];
        queue.pop_front();
        const int level = rows[Kind::Page][page.path].level;
        for (const Link& link : page.links) {
            const bool isNew = !rows[link.kind].contains(link.target);
            note(link.kind, link.target, page.path,
                 link.kind == Kind::Page || link.kind == Kind::BrokenPage ? level + 1 : -1);
            if (isNew && link.kind == Kind::Page)
                queue.push_back(pageIndex.at(link.target));
        }
        for (const Link& image : page.images)
            note(image.kind, image.target, page.path, -1);
    }
    for (auto& [path, entry] : rows[Kind::Page]) {
        const PagePlan& page = m_pages[pageIndex.at(path)];
        entry.title = page.title;
        entry.bytes = m_files.at(path).size();
    }
    for (Kind kind : {Kind::Image, Kind::Download})
        for (auto& [path, entry] : rows[kind])
            entry.bytes = m_files.at(path).size();
    const auto list = [&rows](Kind kind, std::vector<SiteEntry>& out) {
        for (auto& [target, entry] : rows[kind])
            out.push_back(entry);
    };
    list(Kind::Page, manifest.pages);
    list(Kind::BrokenPage, manifest.brokenPages);
    list(Kind::Image, manifest.images);
    list(Kind::MissingImage, manifest.missingImages);
    list(Kind::Download, manifest.downloads);
    list(Kind::MissingDownload, manifest.missingDownloads);
    list(Kind::External, manifest.external);
    list(Kind::Mailto, manifest.mailto);
    list(Kind::Ftp, manifest.ftp);
}

void SitePlanner::build(std::map<std::string, std::string>& files, SiteManifest& manifest) {
    makeDirectories();
    makePages();
    makeSpanningTree();
    for (std::size_t i = 1; i < m_pageCount; ++i) {
        m_pages[i].isFrameset = m_random.percent(2);
        m_pages[i].hasMap = m_random.percent(3);
    }
    if (m_pageCount >= 3) {
        m_pages[std::max<std::size_t>(1, m_pageCount / 2)].isFrameset = true;
        std::size_t map = std::max<std::size_t>(1, m_pageCount / 3);
        while (m_pages[map].isFrameset)
            map = (map + 1) % m_pageCount;
        m_pages[map].hasMap = true;
    }
    // A browser reads nothing of a frameset page but its frames, so a frameset page holds links
    // to pages only, every one a frame; the other forms go to pages with a body.
    for (PagePlan& page : m_pages)
        page.hasMap = page.hasMap && !page.isFrameset;
    std::vector<std::vector<Extra>> forced(m_pageCount);
    for (std::size_t i = 0, page = 0; i < kForcedExtras.size(); ++i, ++page) {
        while (m_pages[page % m_pageCount].isFrameset)
            ++page;
        forced[page % m_pageCount].push_back(kForcedExtras[i]);
    }
    for (std::size_t i = 0; i < m_pageCount; ++i) {
        makeLinks(i, forced[i]);
        assignFramesAndAreas(m_pages[i]);
    }
    for (const PagePlan& page : m_pages)
        m_files[page.path] = renderPage(page);
    for (const std::string& image : m_images)
        m_files[image] = gifBytes();
    for (const std::string& download : m_downloads)
        m_files[download] = downloadBytes(download);
    fillManifest(manifest);
    files = std::move(m_files);
}

std::string field(const std::string& text) {
    return text.empty() ? "-" : text;
}

} // namespace

SiteGenerator::SiteGenerator(const SiteOptions& options) {
    SitePlanner planner(options);
    planner.build(m_files, m_manifest);
    m_manifest.seed = options.seed;
    m_manifest.pageCount = m_manifest.pages.size();
}

std::string SiteGenerator::manifestText() const {
    std::string text = "# lurvik-sitegen manifest seed=" + std::to_string(m_manifest.seed) +
                       " pages=" + std::to_string(m_manifest.pageCount) + "\n" +
                       "# kind\ttarget\tlevel\tbytes\treferrer\ttitle\n";
    const std::pair<const char*, const std::vector<SiteEntry>*> kinds[] = {
        {"page", &m_manifest.pages},
        {"broken-page", &m_manifest.brokenPages},
        {"image", &m_manifest.images},
        {"missing-image", &m_manifest.missingImages},
        {"download", &m_manifest.downloads},
        {"missing-download", &m_manifest.missingDownloads},
        {"external", &m_manifest.external},
        {"mailto", &m_manifest.mailto},
        {"ftp", &m_manifest.ftp}};
    for (const auto& [kind, entries] : kinds) {
        for (const SiteEntry& entry : *entries) {
            text += std::string(kind) + "\t" + entry.target + "\t" +
                    (entry.level < 0 ? "-" : std::to_string(entry.level)) + "\t" +
                    (entry.bytes == 0 ? "-" : std::to_string(entry.bytes)) + "\t" + field(entry.referrer) +
                    "\t" + field(entry.title) + "\n";
        }
    }
    return text;
}

int SiteGenerator::writeTo(const std::string& directory) const {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path root(directory);
    if (fs::exists(root, error) && !fs::is_empty(root, error))
        return error ? error.value() : ENOTEMPTY;
    fs::create_directories(root, error);
    if (error)
        return error.value();
    const auto writeFile = [](const fs::path& name, const std::string& bytes) {
        std::ofstream file(name, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        return file ? 0 : (errno != 0 ? errno : EIO);
    };
    for (const auto& [path, bytes] : m_files) {
        const fs::path name = root / path.substr(1);
        fs::create_directories(name.parent_path(), error);
        if (error)
            return error.value();
        if (const int failed = writeFile(name, bytes); failed != 0)
            return failed;
    }
    return writeFile(root / kManifestName, manifestText());
}

} // namespace lurvik::test
