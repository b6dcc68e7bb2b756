#include "SiteGenerator.h"
#include "HttpExchange.h"
#include "TestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

using namespace lurvik::test;
namespace fs = std::filesystem;

namespace {

class TempDirectory {
public:
    TempDirectory() {
        static int counter = 0;
        m_path = fs::temp_directory_path() /
                 ("lurvik-sitegen-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
        fs::remove_all(m_path);
    }
    ~TempDirectory() { fs::remove_all(m_path); }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct FoundLink {
    std::string tag; // lower case: a, area, frame, img
    std::string value;
};

// A scanner of our own, deliberately simple, so the generator is checked against
// something that shares no code with it.
std::vector<FoundLink> scanLinks(const std::string& html) {
    std::vector<FoundLink> links;
    for (std::size_t open = html.find('<'); open != std::string::npos; open = html.find('<', open + 1)) {
        std::size_t at = open + 1;
        while (at < html.size() && std::isalpha(static_cast<unsigned char>(html[at])))
            ++at;
        const std::string tag = lower(html.substr(open + 1, at - open - 1));
        if (tag != "a" && tag != "area" && tag != "frame" && tag != "img")
            continue;
        const std::string wanted = tag == "img" || tag == "frame" ? "src" : "href";
        const std::size_t close = html.find('>', at);
        while (at < close) {
            while (at < close && std::isspace(static_cast<unsigned char>(html[at])))
                ++at;
            const std::size_t nameStart = at;
            while (at < close && html[at] != '=' && !std::isspace(static_cast<unsigned char>(html[at])))
                ++at;
            const std::string name = lower(html.substr(nameStart, at - nameStart));
            if (at >= close || html[at] != '=')
                continue;
            ++at;
            std::size_t valueEnd;
            std::size_t valueStart = at;
            if (html[at] == '"' || html[at] == '\'') {
                valueStart = at + 1;
                valueEnd = html.find(html[at], valueStart);
                if (valueEnd == std::string::npos || valueEnd > close)
                    break;
                at = valueEnd + 1;
            } else {
                while (at < close && !std::isspace(static_cast<unsigned char>(html[at])))
                    ++at;
                valueEnd = at;
            }
            if (name == wanted)
                links.push_back({tag, html.substr(valueStart, valueEnd - valueStart)});
        }
    }
    return links;
}

std::string titleOf(const std::string& html) {
    const std::size_t start = html.find("<title>");
    const std::size_t end = html.find("</title>");
    if (start == std::string::npos || end == std::string::npos)
        return "";
    std::string title = html.substr(start + 7, end - start - 7);
    for (std::size_t at = title.find("&amp;"); at != std::string::npos; at = title.find("&amp;", at + 1))
        title.erase(at + 1, 4);
    return title;
}

bool isAbsolute(const std::string& reference) {
    const std::size_t colon = reference.find(':');
    return colon != std::string::npos && reference.find('/') > colon;
}

// Site path for a reference found on `base`, fragment dropped; absolute URLs come back
// as they are.
std::string resolve(const std::string& base, const std::string& reference) {
    const std::string bare = reference.substr(0, reference.find('#'));
    if (isAbsolute(bare))
        return bare;
    if (bare.empty())
        return base;
    const std::string joined = bare.front() == '/' ? bare : base.substr(0, base.rfind('/') + 1) + bare;
    std::vector<std::string> parts;
    std::stringstream segments(joined.substr(1));
    for (std::string part; std::getline(segments, part, '/');) {
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (part != ".") {
            parts.push_back(part);
        }
    }
    std::string path;
    for (const std::string& part : parts)
        path += "/" + part;
    return path;
}

struct Fetched {
    int status = 0;
    std::string body;
};

Fetched get(int port, const std::string& path) {
    std::string reply;
    Fetched fetched;
    if (httpExchange(port, "GET " + path + " HTTP/1.0\r\n\r\n", reply) != 0 || reply.size() < 12)
        return fetched;
    fetched.status = std::stoi(reply.substr(9, 3));
    const std::size_t end = reply.find("\r\n\r\n");
    if (end != std::string::npos)
        fetched.body = reply.substr(end + 4);
    return fetched;
}

// What a breadth-first crawl limited to the site saw.
struct Crawl {
    std::map<std::string, int> levels; // every .html target reached, fetched or not found
    std::map<std::string, Fetched> fetched;
    std::map<std::string, std::set<std::string>> linkedFrom;
    std::set<std::string> images, downloads, external, mailto, ftp;
};

Crawl crawl(int port) {
    Crawl result;
    std::deque<std::string> queue = {"/index.html"};
    result.levels["/index.html"] = 0;
    while (!queue.empty()) {
        const std::string path = queue.front();
        queue.pop_front();
        const Fetched& page = result.fetched[path] = get(port, path);
        if (page.status != 200)
            continue;
        for (const FoundLink& link : scanLinks(page.body)) {
            const std::string target = resolve(path, link.value);
            result.linkedFrom[target].insert(path);
            const std::string scheme = isAbsolute(target) ? lower(target.substr(0, target.find(':'))) : "";
            if (scheme == "http" || scheme == "https") {
                EXPECT_EQ(target.find("127.0.0.1"), std::string::npos)
                    << "same-site absolute link " << target;
                result.external.insert(target);
            } else if (scheme == "mailto") {
                result.mailto.insert(target);
            } else if (scheme == "ftp") {
                result.ftp.insert(target);
            } else if (!scheme.empty()) {
                ADD_FAILURE() << "unexpected scheme in " << target << " on " << path;
            } else if (link.tag == "img") {
                result.images.insert(target);
            } else if (target.ends_with(".html")) {
                if (result.levels.emplace(target, result.levels[path] + 1).second)
                    queue.push_back(target);
            } else if (link.tag == "a" && (target.ends_with(".zip") || target.ends_with(".pdf"))) {
                result.downloads.insert(target);
            } else {
                ADD_FAILURE() << "unexpected link " << link.tag << " " << link.value << " on " << path;
            }
        }
    }
    for (const auto* files : {&result.images, &result.downloads})
        for (const std::string& path : *files)
            result.fetched[path] = get(port, path);
    return result;
}

std::set<std::string> targetsOf(const std::vector<SiteEntry>& entries) {
    std::set<std::string> targets;
    for (const SiteEntry& entry : entries)
        targets.insert(entry.target);
    return targets;
}

// Splits the crawled files into those the server had and those it answered 404.
std::pair<std::set<std::string>, std::set<std::string>> byStatus(const Crawl& crawl,
                                                                 const std::set<std::string>& paths) {
    std::pair<std::set<std::string>, std::set<std::string>> split;
    for (const std::string& path : paths) {
        const int status = crawl.fetched.at(path).status;
        EXPECT_TRUE(status == 200 || status == 404) << path << " " << status;
        (status == 200 ? split.first : split.second).insert(path);
    }
    return split;
}

TEST(SiteGeneratorTest, ACrawlOfTheServedSiteFindsExactlyTheManifest) {
    SiteOptions options;
    options.seed = 7;
    options.pageCount = 300;
    const SiteGenerator site(options);
    TempDirectory directory;
    ASSERT_EQ(site.writeTo(directory.path()), 0);
    TestServer server;
    server.serveDirectory(directory.path());
    ASSERT_EQ(server.start(), 0);
    const SiteManifest& manifest = site.manifest();
    const Crawl seen = crawl(server.port());

    std::map<std::string, int> expectedLevels;
    for (const auto* entries : {&manifest.pages, &manifest.brokenPages})
        for (const SiteEntry& entry : *entries)
            expectedLevels[entry.target] = entry.level;
    EXPECT_EQ(seen.levels, expectedLevels);
    ASSERT_EQ(manifest.pages.size(), 300u);
    EXPECT_GE(std::max_element(manifest.pages.begin(), manifest.pages.end(),
                               [](const SiteEntry& a, const SiteEntry& b) { return a.level < b.level; })
                  ->level,
              4);
    for (const SiteEntry& page : manifest.pages) {
        const Fetched& fetched = seen.fetched.at(page.target);
        EXPECT_EQ(fetched.status, 200) << page.target;
        EXPECT_EQ(fetched.body.size(), page.bytes) << page.target;
        EXPECT_EQ(titleOf(fetched.body), page.title) << page.target;
    }
    for (const SiteEntry& broken : manifest.brokenPages)
        EXPECT_EQ(seen.fetched.at(broken.target).status, 404) << broken.target;

    const auto [images, missingImages] = byStatus(seen, seen.images);
    EXPECT_EQ(images, targetsOf(manifest.images));
    EXPECT_EQ(missingImages, targetsOf(manifest.missingImages));
    const auto [downloads, missingDownloads] = byStatus(seen, seen.downloads);
    EXPECT_EQ(downloads, targetsOf(manifest.downloads));
    EXPECT_EQ(missingDownloads, targetsOf(manifest.missingDownloads));
    for (const auto* entries : {&manifest.images, &manifest.downloads})
        for (const SiteEntry& entry : *entries)
            EXPECT_EQ(seen.fetched.at(entry.target).body.size(), entry.bytes) << entry.target;
    EXPECT_EQ(seen.external, targetsOf(manifest.external));
    EXPECT_EQ(seen.mailto, targetsOf(manifest.mailto));
    EXPECT_EQ(seen.ftp, targetsOf(manifest.ftp));

    // A referrer must really hold the link, and a page's must sit one level above it.
    for (const auto* entries : {&manifest.pages, &manifest.brokenPages, &manifest.images,
                                &manifest.missingImages, &manifest.downloads, &manifest.missingDownloads,
                                &manifest.external, &manifest.mailto, &manifest.ftp}) {
        for (const SiteEntry& entry : *entries) {
            if (entry.target == "/index.html") {
                EXPECT_EQ(entry.referrer, "");
                continue;
            }
            ASSERT_TRUE(seen.linkedFrom.contains(entry.target)) << entry.target;
            EXPECT_TRUE(seen.linkedFrom.at(entry.target).contains(entry.referrer))
                << entry.target << " from " << entry.referrer;
            if (entry.level >= 0) {
                EXPECT_EQ(seen.levels.at(entry.referrer), entry.level - 1) << entry.target;
            }
        }
    }
}

struct PageCensus {
    std::size_t large = 0, frames = 0, areas = 0, selfLinks = 0, duplicates = 0, fragments = 0;
    std::size_t parentRelative = 0, dotRelative = 0, rootRelative = 0, singleQuoted = 0, upperCase = 0;
    std::size_t entityTitles = 0, utf8Titles = 0;
};

// Checks every page's own limits and counts the features a crawler must cope with.
PageCensus censusOf(const SiteGenerator& site) {
    PageCensus census;
    for (const auto& [path, html] : site.files()) {
        if (!path.ends_with(".html"))
            continue;
        EXPECT_TRUE((html.size() >= 1024 && html.size() <= 4096) ||
                    (html.size() >= 20480 && html.size() <= 40960))
            << path << " is " << html.size() << " bytes";
        census.large += html.size() > 4096;
        std::set<std::string> seen;
        std::size_t links = 0;
        for (const FoundLink& link : scanLinks(html)) {
            if (link.tag == "img")
                continue;
            ++links;
            const std::string target = resolve(path, link.value);
            census.frames += link.tag == "frame";
            census.areas += link.tag == "area";
            census.selfLinks += target == path;
            census.duplicates += !seen.insert(target).second;
            census.fragments += link.value.find('#') != std::string::npos;
            census.parentRelative += link.value.starts_with("../");
            census.dotRelative += link.value.starts_with("./");
            census.rootRelative += link.value.starts_with("/");
        }
        EXPECT_GE(links, 2u) << path;
        EXPECT_LE(links, 15u) << path;
        census.singleQuoted += html.find("href='") != std::string::npos;
        census.upperCase += html.find("<A HREF=") != std::string::npos;
        const std::string title =
            html.substr(html.find("<title>"), html.find("</title>") - html.find("<title>"));
        census.entityTitles += title.find("&amp;") != std::string::npos;
        const bool isAscii = std::all_of(html.begin(), html.end(), [](char c) { return c >= 0; });
        census.utf8Titles += !isAscii;
        // A page read with the default charset must not hold bytes it would misread.
        EXPECT_EQ(!isAscii, html.find("<meta charset=\"utf-8\">") != std::string::npos) << path;
    }
    return census;
}

TEST(SiteGeneratorTest, PagesStayInSizeAndCarryEveryKindOfLink) {
    SiteOptions options;
    options.seed = 7;
    options.pageCount = 300;
    const PageCensus census = censusOf(SiteGenerator(options));
    EXPECT_GE(census.large, 2u);
    for (const std::size_t count :
         {census.frames, census.areas, census.selfLinks, census.duplicates, census.fragments,
          census.parentRelative, census.dotRelative, census.rootRelative, census.singleQuoted,
          census.upperCase, census.entityTitles, census.utf8Titles})
        EXPECT_GE(count, 3u);

    // Tiny sites still hold one of everything, and their pages link within the limits.
    for (const std::size_t pages : {1, 2, 3, 7}) {
        options.pageCount = pages;
        const SiteGenerator site(options);
        const SiteManifest& manifest = site.manifest();
        EXPECT_EQ(manifest.pages.size(), pages);
        const PageCensus small = censusOf(site);
        EXPECT_GE(small.large, 1u);
        EXPECT_GE(small.entityTitles + small.utf8Titles, 1u);
        if (pages >= 3) {
            EXPECT_TRUE(small.frames >= 2 && small.areas >= 1) << pages;
        }
        for (const auto* entries :
             {&manifest.brokenPages, &manifest.images, &manifest.missingImages, &manifest.downloads,
              &manifest.missingDownloads, &manifest.mailto, &manifest.ftp})
            EXPECT_FALSE(entries->empty()) << pages;
        const std::set<std::string> external = targetsOf(manifest.external);
        EXPECT_TRUE(external.contains("http://elsewhere.example/x.html")) << pages;
        EXPECT_TRUE(external.contains("http://www.other-domain.example/")) << pages;
    }
}

std::map<std::string, std::string> readTree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << file.rdbuf();
        files[entry.path().lexically_relative(root).string()] = bytes.str();
    }
    return files;
}

TEST(SiteGeneratorTest, SameSeedWritesSameBytesAndTheManifestFileMatchesTheApi) {
    SiteOptions options;
    options.seed = 42;
    options.pageCount = 150;
    TempDirectory first, second, other;
    ASSERT_EQ(SiteGenerator(options).writeTo(first.path()), 0);
    ASSERT_EQ(SiteGenerator(options).writeTo(second.path()), 0);
    const std::map<std::string, std::string> written = readTree(first.path());
    EXPECT_EQ(written.size(), SiteGenerator(options).files().size() + 1);
    EXPECT_TRUE(written == readTree(second.path()));
    options.seed = 43;
    ASSERT_EQ(SiteGenerator(options).writeTo(other.path()), 0);
    EXPECT_FALSE(written == readTree(other.path()));
    // A leftover file could make a broken link work, so a used directory is refused.
    EXPECT_EQ(SiteGenerator(options).writeTo(first.path()), ENOTEMPTY);

    options.seed = 42;
    const SiteGenerator site(options);
    const SiteManifest& manifest = site.manifest();
    ASSERT_EQ(written.at(kManifestName), site.manifestText());
    std::istringstream text(written.at(kManifestName));
    std::string line;
    std::getline(text, line);
    EXPECT_EQ(line, "# lurvik-sitegen manifest seed=42 pages=150");
    std::getline(text, line);
    std::map<std::string, std::vector<std::vector<std::string>>> rows;
    while (std::getline(text, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        ASSERT_EQ(fields.size(), 6u) << line;
        rows[fields[0]].push_back(fields);
    }
    const auto expectRows = [&rows](const std::string& kind, const std::vector<SiteEntry>& entries) {
        ASSERT_EQ(rows[kind].size(), entries.size()) << kind;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::vector<std::string>& row = rows[kind][i];
            const SiteEntry& entry = entries[i];
            EXPECT_EQ(row[1], entry.target);
            EXPECT_EQ(row[2], entry.level < 0 ? "-" : std::to_string(entry.level));
            EXPECT_EQ(row[3], entry.bytes == 0 ? "-" : std::to_string(entry.bytes));
            EXPECT_EQ(row[4], entry.referrer.empty() ? "-" : entry.referrer);
            EXPECT_EQ(row[5], entry.title.empty() ? "-" : entry.title);
        }
    };
    expectRows("page", manifest.pages);
    expectRows("broken-page", manifest.brokenPages);
    expectRows("image", manifest.images);
    expectRows("missing-image", manifest.missingImages);
    expectRows("download", manifest.downloads);
    expectRows("missing-download", manifest.missingDownloads);
    expectRows("external", manifest.external);
    expectRows("mailto", manifest.mailto);
    expectRows("ftp", manifest.ftp);
    EXPECT_EQ(rows.size(), 9u);
}

} // namespace
