#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace lurvik::test {

// Generated sites for end-to-end crawl tests and the crawl benchmark: a tree of small HTML
// pages with every kind of link a crawler meets (relative, "../", "./", root-relative,
// fragments, duplicates, self links, frames, image maps, off-site, mailto:, ftp:, broken
// pages, images and downloads that exist or not), and a manifest that says what a correct
// crawl limited to the site finds. The same seed and page count always give the same bytes.
//
// Shape of a site:
// - pageCount pages that exist, /index.html first, spread over directories up to four
//   levels deep ("/s3/d1/p42.html"); every directory holding pages has an index.html.
// - Every page is reachable from /index.html through <a>, <area> and <frame> links, and
//   holds 2-15 of those. Off-site links name hosts under .example, never the site itself,
//   so the site works on any host and port.
// - Pages are 1-4 KB, a few 20-40 KB. Titles are unique; some contain "&amp;", some are
//   non-ASCII UTF-8 and only those pages declare <meta charset="utf-8">, the rest are ASCII.
// - Images live under /img/ and beside pages (.gif), downloads under /files/ and beside
//   pages (.zip, .pdf).

struct SiteOptions {
    std::uint64_t seed = 1;
    std::size_t pageCount = 100; // pages that exist, /index.html included; 0 is taken as 1
};

// One manifest row. Fields that do not apply to the row's kind are -1, 0 or empty.
struct SiteEntry {
    std::string target;    // site path ("/s1/p3.html"), or the URL for off-site links
    int level = -1;        // pages and broken page links: link distance from /index.html
    std::size_t bytes = 0; // files that exist: their size
    std::string referrer;  // a page that links to it; for a page, one at the level above
    std::string title;     // pages: the title as a reader sees it, entities decoded, UTF-8
};

// What a crawl of the whole site, limited to its host, must find; each list is sorted by
// target and holds each target once.
struct SiteManifest {
    std::uint64_t seed = 0;
    std::size_t pageCount = 0;
    std::vector<SiteEntry> pages;            // every page; all exist and are reachable
    std::vector<SiteEntry> brokenPages;      // .html links to files that do not exist
    std::vector<SiteEntry> images;           // <img> sources that exist
    std::vector<SiteEntry> missingImages;    // <img> sources that do not exist
    std::vector<SiteEntry> downloads;        // <a> links to .zip/.pdf files that exist
    std::vector<SiteEntry> missingDownloads; // <a> links to .zip/.pdf files that do not
    std::vector<SiteEntry> external;         // http: and https: links to other hosts
    std::vector<SiteEntry> mailto;
    std::vector<SiteEntry> ftp;
};

// Written beside the site by writeTo(). Tab-separated, UTF-8, one row per line:
//   # lurvik-sitegen manifest seed=S pages=N
//   # kind<TAB>target<TAB>level<TAB>bytes<TAB>referrer<TAB>title
//   page<TAB>/index.html<TAB>0<TAB>2113<TAB>-<TAB>Welcome 0
//   page<TAB>/s1/p7.html<TAB>2<TAB>1890<TAB>/s1/index.html<TAB>Harbour & docks 7
// then broken-page, image, missing-image, download, missing-download, external, mailto
// and ftp rows, in that order, each kind sorted by target. A field that does not apply is
// "-". No field holds a tab or a line end.
inline constexpr const char* kManifestName = "manifest.tsv";

// Builds the whole site in memory on construction; writeTo() puts it on disk.
class SiteGenerator {
public:
    explicit SiteGenerator(const SiteOptions& options);

    // Site path ("/img/i3.gif") to file bytes; the manifest file is not among them.
    const std::map<std::string, std::string>& files() const { return m_files; }
    const SiteManifest& manifest() const { return m_manifest; }
    // The manifest file's bytes.
    std::string manifestText() const;

    // Writes every file under `directory`, creating it if needed, and the manifest last.
    // A directory that already holds anything is refused with ENOTEMPTY, because a stale
    // file there could turn one of this site's broken links into a working one.
    // Returns 0, or the errno of the failure.
    [[nodiscard]] int writeTo(const std::string& directory) const;

private:
    std::map<std::string, std::string> m_files;
    SiteManifest m_manifest;
};

} // namespace lurvik::test
