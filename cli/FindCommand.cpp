#include "FindCommand.h"

#include "CliCommon.h"
#include "OutlinePages.h"
#include "ReportWriter.h"
#include "SiteMapFiles.h"
#include "SiteOfThisRun.h"
#include "TemporaryCache.h"
#include "TextEscapes.h"
#include "TlsOptions.h"
#include "analysis/RatingSettings.h"
#include "core/PageCache.h"
#include "core/Utf8.h"
#include "find/CriteriaFile.h"
#include "find/FindEngine.h"
#include "find/ObjectTypes.h"
#include "find/ResultsExport.h"
#include "find/ResultsHtml5Export.h"
#include "retrieval/AgentPool.h"
#include "retrieval/Settings.h"
#include "sitemap/MapLinkReader.h"
#include "sitemap/MapOutline.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lurvik::cli {

namespace {

constexpr const char* kUsage =
    "usage: lurvik-cli find site.web [--type TYPE] [--text TEXT] [--in url,title,body] [--all-words]\n"
    "                       [--case] [--whole-word] [--no-duplicates] [--limit N] [--size [OP]N]\n"
    "                       [--links [OP]N] [--children [OP]N] [--parents [OP]N] [--external [OP]N]\n"
    "                       [--contains TYPE] [--lacks TYPE] [--rated yes|no] [--violating yes|no]\n"
    "                       [--refers-to URL] [--criteria file.ifc] [--save-criteria file.ifc]\n"
    "                       [--author TEXT] [--description TEXT] [--format text|tsv|csv|json]\n"
    "                       [--html FILE] [--html5 FILE] [--ca-file FILE] [--insecure]\n";

constexpr const char* kOptions =
    "Searches a saved site map; prints one result per line on stdout and the count on stderr.\n"
    "Exit status: 0 results found, 1 none, 2 an error.\n"
    "\n"
    "  --type TYPE           what to find: pages (default), invalid, links, ftp, http, images,\n"
    "                        imagemaps, news, mail, gopher, frames, applets, activex, or a file\n"
    "                        type name such as \"Html Page\" (links and pages of that type)\n"
    "  --text TEXT           words to look for, any of them; \"two words\" in quotes are one word\n"
    "  --in PLACES           where to look: url, title, body, comma-separated (default title;\n"
    "                        title is a link's text for links); bodies missing from the map are\n"
    "                        fetched again\n"
    "  --all-words           every word must be found\n"
    "  --case                words match only with the same case\n"
    "  --whole-word          words match only as whole words\n"
    "  --no-duplicates       drop a result whose URL and text repeat an earlier one\n"
    "  --limit N             stop after the page on which N results were reached\n"
    "  --size [OP]N          page size in KB (1000 bytes); OP is =, <, <=, >, >= or <> (default =),\n"
    "                        and \"all\" turns a count criterion off\n"
    "  --links [OP]N         number of hyperlinks on the page\n"
    "  --children [OP]N      number of pages the page refers to\n"
    "  --parents [OP]N       number of pages that refer to the page\n"
    "  --external [OP]N      number of links leaving the page's domain\n"
    "  --contains TYPE       pages with a link of this type: images, imagemaps, applets, ftp, news,\n"
    "                        mail, gopher, frames, activex, or a file type name (repeatable)\n"
    "  --lacks TYPE          pages without a link of this type (repeatable)\n"
    "  --rated yes|no        pages that are, or are not, rated\n"
    "  --violating yes|no    pages that do, or do not, violate the current rating settings\n"
    "  --refers-to URL       pages with a link to exactly this URL\n"
    "  --criteria FILE       start from a saved criteria file; the options above change it\n"
    "  --save-criteria FILE  save the criteria (\".ifc\" is added unless the name ends in it)\n"
    "  --author TEXT         author saved with the criteria\n"
    "  --description TEXT    description saved with the criteria (default \"Lurvik Find Criteria\")\n"
    "  --format FORMAT       text (default); tsv or csv with a header row; json, one object per line\n"
    "                        with the fields name, type, kind, url and page\n"
    "  --html FILE           also write the results as an HTML list, as a Find window saves them\n"
    "  --html5 FILE          also write the results as a standalone HTML5 page to hand over\n";

// The short names a command line offers for the fixed object types, by index.
constexpr const char* kTypeAliases[kFixedObjectTypes] = {"pages",  "invalid",   "links",  "ftp",  "http",
                                                         "images", "imagemaps", "news",   "mail", "gopher",
                                                         "frames", "applets",   "activex"};

struct Count {
    int value = -1;
    int op = COMPARE_EQUAL;
};

// What the command line asked for; unset options leave the criteria as they start.
struct FindOptions {
    std::string map;
    std::optional<std::string> type, text, places, reference, author, description;
    bool allWords = false, matchCase = false, wholeWord = false, noDuplicates = false;
    std::optional<int> limit;
    std::optional<Count> counts[5]; // size, links, children, parents, external
    std::vector<ContentTypeRow> content;
    std::optional<int> rated, violating;
    std::string criteriaFile, saveFile, htmlFile, html5File;
    std::string format = "text";
    TlsOptions tls; // for the bodies a map lacks
};

int parseNumber(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return 1;
    out = std::stoi(text);
    return 0;
}

// "[OP]N" with the operators the Find window offers, or "all" for a criterion that is off.
int parseCount(const std::string& text, Count& out) {
    if (text == "all" || text == "All") {
        out = Count{};
        return 0;
    }
    for (int op : {COMPARE_LESS_OR_EQUAL, COMPARE_GREATER_OR_EQUAL, COMPARE_NOT_EQUAL, COMPARE_LESS,
                   COMPARE_GREATER, COMPARE_EQUAL}) {
        std::string prefix = compareOpText(op);
        if (text.compare(0, prefix.size(), prefix) == 0) {
            out.op = op;
            return parseNumber(text.substr(prefix.size()), out.value);
        }
    }
    out.op = COMPARE_EQUAL;
    return parseNumber(text, out.value);
}

int parseYesNo(const std::string& text, std::optional<int>& out) {
    if (text != "yes" && text != "no")
        return 1;
    out = text == "yes";
    return 0;
}

// A content type as the user names it: one of the nine (by its name or short name, any case), or
// a file type name as it is.
Str contentTypeName(const std::string& text) {
    for (int i = 0; i < kFixedContentTypes; ++i) {
        const char* name = fixedContentTypeName(i);
        int kind = contentTypeKind(name);
        if (Str(text).icmp(name) == 0)
            return name;
        for (int t = OBJECT_FTP_LINKS; t < kFixedObjectTypes; ++t)
            if (objectTypeKind(t) == kind && text == kTypeAliases[t])
                return name;
    }
    return Str(text);
}

int parseOptions(int argc, char** argv, FindOptions& options) {
    const char* countNames[] = {"--size", "--links", "--children", "--parents", "--external"};
    for (int i = 0; i < argc; ++i) {
        if (int taken = takeTlsOption(argc, argv, i, options.tls)) {
            if (taken < 0)
                return 1;
            continue;
        }
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        auto next = [&] {
            if (i + 1 >= argc)
                return 1;
            value = argv[++i];
            hasValue = true;
            return 0;
        };
        auto take = [&](std::optional<std::string>& into) {
            if (next())
                return 1;
            into = value;
            return 0;
        };
        int bad = 0;
        int countIndex = -1;
        for (int c = 0; c < 5; ++c)
            if (arg == countNames[c])
                countIndex = c;
        if (countIndex >= 0) {
            Count count;
            bad = next() || parseCount(value, count);
            options.counts[countIndex] = count;
        } else if (arg == "--type") {
            bad = take(options.type);
        } else if (arg == "--text") {
            bad = take(options.text);
        } else if (arg == "--in") {
            bad = take(options.places);
        } else if (arg == "--refers-to") {
            bad = take(options.reference) || options.reference->empty();
        } else if (arg == "--author") {
            bad = take(options.author);
        } else if (arg == "--description") {
            bad = take(options.description);
        } else if (arg == "--all-words") {
            options.allWords = true;
        } else if (arg == "--case") {
            options.matchCase = true;
        } else if (arg == "--whole-word") {
            options.wholeWord = true;
        } else if (arg == "--no-duplicates") {
            options.noDuplicates = true;
        } else if (arg == "--limit") {
            int limit = -1;
            bad = next() || (value != "all" && (parseNumber(value, limit) || limit < 1));
            options.limit = limit;
        } else if (arg == "--contains" || arg == "--lacks") {
            bad = next() || value.empty();
            options.content.push_back(
                {contentTypeName(value), arg == "--contains" ? CONTENT_INCLUDE : CONTENT_EXCLUDE});
        } else if (arg == "--rated") {
            bad = next() || parseYesNo(value, options.rated);
        } else if (arg == "--violating") {
            bad = next() || parseYesNo(value, options.violating);
        } else if (arg == "--criteria") {
            bad = next() || value.empty();
            options.criteriaFile = value;
        } else if (arg == "--save-criteria") {
            bad = next() || value.empty();
            options.saveFile = value;
        } else if (arg == "--html") {
            bad = next() || value.empty();
            options.htmlFile = value;
        } else if (arg == "--html5") {
            bad = next() || value.empty();
            options.html5File = value;
        } else if (arg == "--format") {
            bad = next() || (value != "text" && value != "tsv" && value != "csv" && value != "json");
            options.format = value;
        } else if (!arg.empty() && arg[0] == '-') {
            bad = 1;
        } else if (options.map.empty()) {
            options.map = arg;
        } else {
            bad = 1;
        }
        if (bad) {
            printError("unexpected, incomplete or invalid option '" + arg + (hasValue ? " " + value : "") +
                       "'");
            return 1;
        }
    }
    if (options.map.empty()) {
        printError("no site map given");
        return 1;
    }
    return 0;
}

// What a Find window builds before it searches with untouched controls: pages, words in the
// title, no count criterion, and the nine fixed content rows that ask nothing.
void defaultCriteria(FindCriteria& c) {
    c.clear();
    c.setObjectTypeText(objectTypeText(OBJECT_ALL_PAGES));
    c.setSizeCriterion(-1, COMPARE_EQUAL);
    c.setLinksCriterion(-1, COMPARE_EQUAL);
    c.setChildrenCriterion(-1, COMPARE_EQUAL);
    c.setParentsCriterion(-1, COMPARE_EQUAL);
    c.setExternalCriterion(-1, COMPARE_EQUAL);
    for (int i = 0; i < kFixedContentTypes; ++i)
        c.addContentType(fixedContentTypeName(i), CONTENT_EITHER);
}

bool isFixedObjectType(const std::string& text) {
    for (int i = 0; i < kFixedObjectTypes; ++i)
        if (text == kTypeAliases[i] || Str(text).icmp(objectTypeText(i)) == 0)
            return true;
    return false;
}

// The whole file was read once already: what fails when it is read again was changed since, or
// holds an address that does not parse, and is said as a damaged map is.
void printDamaged(const std::string& fileName) {
    printError("cannot open " + fileName + ": " + fileName + " is damaged or cut short");
}

// Reads every page's links once and lets them go, for what reading them teaches the engine's
// type table.
int learnLinkTypes(const MapOutline& map, const std::string& fileName) {
    MapLinkReader reader;
    SiteNode page;
    for (int i = 0; i < map.savedCount(); ++i)
        if ((i == 0 && reader.open(fileName, map.resourceKinds, MapLinkReader::Texts::Skip) != 0) ||
            reader.next(page) != 0) {
            printDamaged(fileName);
            return 1;
        }
    return 0;
}

// The object type by short name, list text (any case) or file type name; the index is the type's
// position in the Find window's list, where file type names follow the fixed types.
int setObjectType(const std::string& text, SiteEngine& engine, FindCriteria& c) {
    for (int i = 0; i < kFixedObjectTypes; ++i)
        if (text == kTypeAliases[i] || Str(text).icmp(objectTypeText(i)) == 0) {
            c.setObjectTypeIndex(i);
            c.setObjectTypeText(objectTypeText(i));
            return 0;
        }
    std::vector<Str> names;
    engine.typeTable.typeNames(names);
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].view() == text) {
            c.setObjectTypeIndex(kFirstFileTypeIndex + static_cast<int>(i));
            c.setObjectTypeText(names[i]);
            return 0;
        }
    std::string known;
    for (const char* alias : kTypeAliases)
        known += std::string(known.empty() ? "" : ", ") + alias;
    for (const Str& name : names)
        known += ", \"" + name.str() + "\"";
    printError("unknown object type '" + text + "' (one of " + known + ")");
    return 1;
}

int applyOptions(const FindOptions& o, SiteEngine& engine, FindCriteria& c) {
    if (o.type && setObjectType(*o.type, engine, c) != 0)
        return 1;
    if (o.text)
        c.searchText = *o.text;
    if (o.places) {
        c.lookInURL = c.lookInTitle = c.lookInBody = 0;
        std::string rest = *o.places + ",";
        for (size_t comma; (comma = rest.find(',')) != std::string::npos; rest.erase(0, comma + 1)) {
            std::string place = rest.substr(0, comma);
            int* flag = place == "url"     ? &c.lookInURL
                        : place == "title" ? &c.lookInTitle
                        : place == "body"  ? &c.lookInBody
                                           : nullptr;
            if (!flag) {
                printError("--in takes url, title and body, not '" + place + "'");
                return 1;
            }
            *flag = 1;
        }
    }
    c.matchAllWords |= o.allWords;
    c.matchCase |= o.matchCase;
    c.matchWholeWord |= o.wholeWord;
    c.noDuplicates |= o.noDuplicates;
    if (o.limit)
        c.setResultLimit(*o.limit);
    int* counts[5][2] = {{&c.sizeValue, &c.sizeOp},
                         {&c.linksValue, &c.linksOp},
                         {&c.childrenValue, &c.childrenOp},
                         {&c.parentsValue, &c.parentsOp},
                         {&c.externalValue, &c.externalOp}};
    for (int i = 0; i < 5; ++i)
        if (o.counts[i]) {
            *counts[i][0] = o.counts[i]->value;
            *counts[i][1] = o.counts[i]->op;
        }
    // A row already there (a loaded file's, or the fixed nine) changes state; a new name is added.
    for (const ContentTypeRow& row : o.content) {
        int at = 0;
        while (at < c.contentTypeNames.len() && *c.contentTypeNames.get(at) != row.name)
            ++at;
        if (at < c.contentTypeNames.len())
            *c.contentTypeStates.get(at) = row.state;
        else
            c.addContentType(row.name, row.state);
    }
    if (o.rated) {
        c.ratedEnabled = 1;
        c.ratedWanted = *o.rated;
    }
    if (o.violating) {
        c.violatingEnabled = 1;
        c.violatingWanted = *o.violating;
    }
    if (o.reference)
        c.setReferenceURL(*o.reference);
    if (o.author)
        c.setAuthor(*o.author);
    if (o.description)
        c.setDescription(*o.description);
    return 0;
}

// The body search needs the map's pages in a cache: one of its own that goes when the command
// ends, so a search never reads what another run left behind.

void printResults(const FindEngine& find, const std::string& format) {
    if (format == "csv") {
        ReportWriter writer(ReportFormat::Csv, {{"name"}, {"type"}, {"kind", true}, {"url"}, {"page"}});
        if (writer.open("-") != 0)
            return;
        Str type, url;
        for (int i = 0; i < find.resultCount(); ++i) {
            const FoundLink* r = find.result(i);
            r->typeName(type);
            r->url.getURLString(url, 1);
            writer.row(
                {r->text.str(), type.str(), std::to_string(r->effectiveKind()), url.str(), r->pageURL.str()});
        }
        (void)writer.close();
        return;
    }
    if (format == "tsv")
        std::printf("name\ttype\tkind\turl\tpage\n");
    Str type, url;
    for (int i = 0; i < find.resultCount(); ++i) {
        const FoundLink* r = find.result(i);
        r->typeName(type);
        r->url.getURLString(url, 1);
        if (format == "json")
            std::printf("{\"name\":%s,\"type\":%s,\"kind\":%d,\"url\":%s,\"page\":%s}\n",
                        jsonString(r->text.view()).c_str(), jsonString(type.view()).c_str(),
                        r->effectiveKind(), jsonString(url.view()).c_str(),
                        jsonString(r->pageURL.view()).c_str());
        else if (format == "tsv")
            std::printf("%s\t%s\t%d\t%s\t%s\n", tsvField(r->text.view()).c_str(),
                        tsvField(type.view()).c_str(), r->effectiveKind(), tsvField(url.view()).c_str(),
                        tsvField(r->pageURL.view()).c_str());
        else if (r->pageURL.isEmpty())
            std::printf("%s  [%s]  %s\n", shownText(r->text.view()).c_str(), type.text(),
                        shownText(url.view()).c_str());
        else
            std::printf("%s  [%s]  %s  (on %s)\n", shownText(r->text.view()).c_str(), type.text(),
                        shownText(url.view()).c_str(), shownText(r->pageURL.view()).c_str());
    }
}

} // namespace

int runFind(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        Settings settings;
        settings.loadRepairedSettings();
        std::fputs(kUsage, stdout);
        std::fputs(kOptions, stdout);
        std::fputs(tlsOptionsHelp(settings.caFile.str()).c_str(), stdout);
        return ExitOk;
    }
    FindOptions options;
    if (parseOptions(argc, argv, options) != 0) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }

    TemporaryCache cache;
    if (!cache.ok())
        printError("warning: no page cache; a body search fetches every page again");
    SiteEngine& engine = siteOfThisRun();
    MapOutline map;
    // The file types a map's links name are learnt as the links are read; a type asked for by
    // name must be known before the search starts, in the order a whole load would have learnt it.
    const bool typeByName = options.type && !isFixedObjectType(*options.type);
    map.replyTypes = typeByName ? MapOutline::ReplyTypes::Later : MapOutline::ReplyTypes::Learn;
    if (openMapOutline(map, options.map, engine) != 0)
        return ExitUsage;
    if (typeByName) {
        if (learnLinkTypes(map, options.map) != 0)
            return ExitUsage;
        map.learnReplyTypes(engine);
    }

    Settings settings;
    // Bodies a map lacks are fetched as a crawl would fetch them, with the same repaired settings.
    settings.loadRepairedSettings();
    settings.useProxy = 0;
    AgentPool pool;
    settings.applyToPool(pool);
    applyTlsOptions(options.tls);
    FindEngine find(&engine, pool);
    int ratingsOn = 0, markPages = 0, blockUnrated = 0, passwordOverride = 0, blockViolated = 0;
    loadFlags(ratingsOn, markPages, blockUnrated, passwordOverride, blockViolated);
    find.showUnratedAsViolated = blockUnrated;

    FindCriteria& criteria = find.criteria;
    defaultCriteria(criteria);
    if (!options.criteriaFile.empty()) {
        FindCriteria loaded;
        loaded.setFileName(options.criteriaFile);
        Str error;
        if (loaded.load(&error) != 0) {
            printError(error.str());
            return ExitUsage;
        }
        criteria = loaded;
    }
    if (applyOptions(options, engine, criteria) != 0) {
        std::fputs(kUsage, stderr);
        return ExitUsage;
    }
    if (!options.saveFile.empty()) {
        std::string name = options.saveFile;
        // As the save dialog does: the extension is added unless the name ends in it exactly.
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".ifc") != 0)
            name += ".ifc";
        if (!options.description && criteria.description.isEmpty())
            criteria.setDescription("Lurvik Find Criteria");
        criteria.setFileName(name);
        Str error;
        if (criteria.save(&error) != 0) {
            printError(error.str());
            return ExitUsage;
        }
        std::fprintf(stderr, "Saved the criteria to %s\n", name.c_str());
    }

    OutlinePages pages(map, options.map, find.readsLinks() ? LinkAddresses::Resolve : LinkAddresses::Keep,
                       find.looksForLinks() ? MapLinkReader::Texts::Read : MapLinkReader::Texts::Skip);
    find.pageAt = [&pages](int i) { return pages.page(i); };

    installInterruptHandler();
    if (find.startSearch() != 0) {
        printError("cannot start the search thread");
        return ExitUsage;
    }
    while (find.waitForSearch(50) != 0)
        if (interrupted()) {
            find.stopSearch();
            std::fprintf(stderr, "Stopped\n");
            return 130;
        }
    if (pages.failed()) {
        printDamaged(options.map);
        return ExitUsage;
    }
    printResults(find, options.format);
    std::vector<const LinkRecord*> rows;
    for (int i = 0; i < find.resultCount(); ++i)
        rows.push_back(find.result(i));
    if (!options.htmlFile.empty() && exportResultsHtml(rows, Str(options.htmlFile)) != 0) {
        printError("cannot write " + options.htmlFile);
        return ExitUsage;
    }
    if (!options.html5File.empty() && exportResultsHtml5(rows, Str(options.html5File)) != 0) {
        printError("cannot write " + options.html5File);
        return ExitUsage;
    }
    std::fprintf(stderr, "%d item(s) found\n", find.resultCount());
    return find.resultCount() > 0 ? ExitOk : ExitFailed;
}

} // namespace lurvik::cli
