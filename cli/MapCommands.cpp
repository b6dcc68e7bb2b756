#include "MapCommands.h"

#include "CliCommon.h"
#include "CrawlReports.h"
#include "SiteMapFiles.h"
#include "SiteOfThisRun.h"
#include "TextEscapes.h"
#include "core/BatchesAhead.h"
#include "core/Prefetch.h"
#include "retrieval/LinkStatus.h"
#include "retrieval/SiteEngine.h"
#include "sitemap/MapLinkReader.h"
#include "sitemap/MapOutline.h"
#include "sitemap/TreeWalk.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace lurvik::cli {

namespace {

// Opens the map named by the only argument (file receives it) as an outline; prints the reason and returns
// non-zero when it cannot. verdict, when given, is set by a "--broken" or "--blocked" argument; other
// commands refuse them.
int openMap(int argc, char** argv, const char* usage, SiteEngine& engine, MapOutline& map, std::string& file,
            std::string* verdict = nullptr, ResourceChecker* checked = nullptr) {
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--broken" || arg == "--blocked") && verdict) {
            *verdict = arg.substr(2);
        } else if (arg.empty() || arg[0] == '-' || !file.empty()) {
            printError("unexpected option '" + arg + "'");
            std::fputs(usage, stderr);
            return ExitUsage;
        } else {
            file = arg;
        }
    }
    if (file.empty()) {
        printError("no site map given");
        std::fputs(usage, stderr);
        return ExitUsage;
    }
    if (openMapOutline(map, file, engine) != 0)
        return ExitFailed;
    if (checked)
        for (const CheckedLink& link : map.checkedLinks)
            checked->record(link.url, {link.status, link.failed, link.errorText});
    return ExitOk;
}

// Lines handed from the walk to the printing at a time.
constexpr size_t kTreeLinesPerBatch = 4096;

// Past this depth lines keep one indent and show the level instead: a chain of 100,000 "next page"
// links would otherwise print more spaces than pages.
constexpr int kMaxIndent = 40;

// Lines are gathered and written in pieces: a million-page tree prints tens of millions.
class LineBuffer {
public:
    ~LineBuffer() { flush(); }
    std::string& text() { return m_text; }
    void lineDone() {
        if (m_text.size() >= (64 << 10))
            flush();
    }

private:
    void flush() {
        std::fwrite(m_text.data(), 1, m_text.size(), stdout);
        m_text.clear();
    }
    std::string m_text;
};

void appendNumber(std::string& out, int number) {
    char digits[16];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, number).ptr);
}

// What is known of a page's texts: a page is printed as often as pages link to it, and most
// texts need no escape.
enum PlainText : uint8_t { Unknown = 0, Known = 1, PlainTitle = 2, PlainAddress = 4 };

// One line of the tree: the page at depth, and whether it was shown above.
void appendTreeLine(const MapOutline& map, int page, int depth, bool repeated, uint8_t& plain,
                    std::string& out) {
    if (plain == Unknown)
        plain = Known | (isShownAsIs(map.title(page)) ? PlainTitle : 0) |
                (isShownAsIs(map.url(page)) ? PlainAddress : 0);
    out.append(static_cast<size_t>(std::min(depth, kMaxIndent) * 2), ' ');
    if (depth > kMaxIndent) {
        out += '(';
        appendNumber(out, depth);
        out += ") ";
    }
    if (plain & PlainTitle)
        out += map.title(page);
    else
        appendShownText(out, map.title(page));
    out += "  <";
    if (plain & PlainAddress)
        out += map.url(page);
    else
        appendShownText(out, map.url(page));
    out += '>';
    // The status in brackets, when the map kept it; a failed page's title is its error.
    if (map.httpStatus(page) > 0) {
        out += "  [";
        appendNumber(out, map.httpStatus(page));
        out += ']';
    }
    if (repeated && map.childCount(page) > 0)
        out += "  (shown above)";
    out += '\n';
}

} // namespace

// The tree `export --html` writes, printed as it is walked: the walk on a thread of its own, a
// stretch of lines ahead of the printing.
int runTree(int argc, char** argv) {
    SiteEngine& engine = siteOfThisRun();
    MapOutline map;
    map.storesPages = false;
    map.replyTypes = MapOutline::ReplyTypes::Ignore;
    std::string file;
    if (int result = openMap(argc, argv, "usage: lurvik-cli tree site.web\n", engine, map, file))
        return result;
    std::vector<uint8_t> plain(map.pageCount());
    LineBuffer out;
    TreeWalk walk(map);
    BatchesAhead<std::vector<TreeLine>> lines(
        [&walk](std::vector<TreeLine>& batch) { return walk.next(batch, kTreeLinesPerBatch); });
    // The pages of lines to come are asked for ahead, as the walk does: the lines go through the
    // map out of file order.
    constexpr size_t kPageAhead = 16;
    constexpr size_t kTextsAhead = 8;
    while (const std::vector<TreeLine>* batch = lines.next()) {
        const size_t count = batch->size();
        for (size_t i = 0; i < count; ++i) {
            if (i + kPageAhead < count) {
                map.prefetchPage((*batch)[i + kPageAhead].page);
                prefetchLine(&plain[(*batch)[i + kPageAhead].page]);
            }
            if (i + kTextsAhead < count)
                map.prefetchTexts((*batch)[i + kTextsAhead].page);
            const TreeLine& line = (*batch)[i];
            appendTreeLine(map, line.page, line.depth, line.repeated, plain[line.page], out.text());
            out.lineDone();
        }
    }
    return ExitOk;
}

int runLinks(int argc, char** argv) {
    SiteEngine& engine = siteOfThisRun();
    AgentPool pool;
    ResourceChecker checked(engine, pool);
    std::string verdict;
    MapOutline map;
    map.storesPages = false;
    // The report names no type.
    map.replyTypes = MapOutline::ReplyTypes::Ignore;
    std::string file;
    if (int result = openMap(argc, argv, "usage: lurvik-cli links site.web [--broken | --blocked]\n", engine,
                             map, file, &verdict, &checked))
        return result;
    MapLinkReader reader;
    SiteNode page;
    LineBuffer out;
    // What the link at each place of the page before came to, when it led to a page of the map: a
    // site's menus put the same links in the same places, and looking each up again was most of
    // the time a million-page map took.
    struct Known {
        int kind = 0;
        URL address;
        std::string line; // after the page's field, to the end of its status
        const char* verdict = "";
        // Whether the link at this place of the page at hand is the one before: most often the very
        // address the reader shared, told apart without comparing texts.
        bool isBefore(const LinkRecord& link) const {
            return !line.empty() && kind == link.kind &&
                   (address.sharesText(link.url) || address.view() == link.url.view());
        }
    };
    std::vector<Known> known;
    // As in the crawl's links report, only a map of a crawl that rendered pages says which links
    // only the rendered pages held.
    const bool wasRendered = !map.renderedLinks.empty();
    auto nextRendered = map.renderedLinks.begin();
    auto endLine = [&](const std::vector<uint32_t>* renderedOnly, int place) {
        if (wasRendered) {
            const bool isRendered =
                renderedOnly &&
                std::binary_search(renderedOnly->begin(), renderedOnly->end(), static_cast<uint32_t>(place));
            out.text() += isRendered ? "\ttrue" : "\tfalse";
        }
        out.text() += '\n';
        out.lineDone();
    };
    for (int i = 0; i < map.savedCount(); ++i) {
        // The whole file was read once already: what fails now was changed since, or holds an
        // address that does not parse, and is said as a damaged map is.
        if ((i == 0 && reader.open(file, map.resourceKinds, MapLinkReader::Texts::Skip, &map) != 0) ||
            reader.next(page) != 0 || page.url.view() != map.url(i)) {
            printError("cannot open " + file + ": " + file + " is damaged or cut short");
            return ExitFailed;
        }
        const std::string pageField = tsvField(page.url.text());
        const std::vector<uint32_t>* renderedOnly = nullptr;
        if (nextRendered != map.renderedLinks.end() && nextRendered->first == i)
            renderedOnly = &(nextRendered++)->second;
        if (known.size() < static_cast<size_t>(page.links.len()))
            known.resize(page.links.len());
        for (int k = 0; k < page.links.len(); ++k)
            if (reader.target(k) >= 0)
                map.prefetchTexts(reader.target(k));
        int place = 0;
        for (const LinkRecord& link : page.links) {
            const int target = reader.target(place);
            Known& before = known[place++];
            if (!before.isBefore(link)) {
                before.line.clear();
                const LinkTarget found{target >= 0 ? map.state(target) : 0,
                                       target >= 0 ? map.httpStatus(target) : 0};
                const char* verdictOfLink =
                    target >= 0 ? pageVerdict(found.state, found.httpStatus, map.title(target))
                                : checkVerdict(link, &checked);
                if (target < 0 && !verdict.empty() && verdict != verdictOfLink)
                    continue;
                std::string line = "\t";
                line += linkKindName(link.effectiveKind());
                line += '\t';
                if (link.url.isValid())
                    appendTsvField(line, link.url.view());
                line += '\t';
                // Whether a link to no page of the map was followed depends on its page.
                appendTsvField(line, linkTargetStatus(target >= 0 ? &found : nullptr, engine.limitMode,
                                                      page.url, link, &checked));
                if (verdict.empty() || verdict == verdictOfLink) {
                    out.text() += pageField;
                    out.text() += line;
                    endLine(renderedOnly, place - 1);
                }
                if (target >= 0) {
                    before.kind = link.kind;
                    before.address = link.url;
                    before.line = std::move(line);
                    before.verdict = verdictOfLink;
                }
                continue;
            }
            if (verdict.empty() || verdict == before.verdict) {
                out.text() += pageField;
                out.text() += before.line;
                endLine(renderedOnly, place - 1);
            }
        }
    }
    return ExitOk;
}

} // namespace lurvik::cli
