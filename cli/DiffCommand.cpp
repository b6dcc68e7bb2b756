#include "DiffCommand.h"

#include "CliCommon.h"
#include "ReportWriter.h"
#include "sitemap/MapComparison.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace lurvik::cli {

namespace {

const char* const kUsage =
    "usage: lurvik-cli diff OLD.web NEW.web [--format tsv|jsonl|html] [--out FILE] [--links]\n"
    "  what changed from the older crawl to the newer: pages added and removed, pages and checked\n"
    "  links that became broken (listed first) or were fixed, other status changes, titles, and\n"
    "  each page's links (how many came and went; --links lists them). --out writes to FILE\n"
    "  instead of standard output. Exit status 1 when something became broken.\n";

struct DiffOptions {
    std::string older, newer;
    std::string format = "tsv";
    std::string out = "-";
    bool withLinks = false;
};

int parseDiffOptions(int argc, char** argv, DiffOptions& options) {
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--format" || arg == "--out") && i + 1 < argc) {
            (arg == "--format" ? options.format : options.out) = argv[++i];
        } else if (arg == "--links") {
            options.withLinks = true;
        } else if (!arg.empty() && arg[0] != '-') {
            files.push_back(arg);
        } else {
            printError("unexpected option '" + arg + "'");
            return ExitUsage;
        }
    }
    if (files.size() != 2) {
        printError("diff compares two site maps");
        return ExitUsage;
    }
    if (options.format != "tsv" && options.format != "jsonl" && options.format != "html") {
        printError("unknown format '" + options.format + "' (tsv, jsonl or html)");
        return ExitUsage;
    }
    options.older = files[0];
    options.newer = files[1];
    return ExitOk;
}

int writeHtml(const DiffOptions& options, const std::vector<MapChange>& changes) {
    if (options.out == "-") {
        const std::string page = comparisonPage(options.older, options.newer, changes);
        if (std::fwrite(page.data(), 1, page.size(), stdout) != page.size() || std::fflush(stdout) != 0) {
            printError("cannot write to standard output");
            return ExitFailed;
        }
        return ExitOk;
    }
    Str why;
    if (writeComparisonPage(options.out, options.older, options.newer, changes, why) != 0) {
        printError("cannot write " + options.out + ": " + why.str());
        return ExitFailed;
    }
    return ExitOk;
}

int writeTable(const DiffOptions& options, const std::vector<MapChange>& changes) {
    ReportWriter report(options.format == "jsonl" ? ReportFormat::Jsonl : ReportFormat::Tsv,
                        {{"change"}, {"url"}, {"before"}, {"after"}, {"detail"}});
    if (report.open(options.out) != 0) {
        printError("cannot write " + options.out + ": " + report.errorText());
        return ExitFailed;
    }
    for (const MapChange& change : changes)
        report.row({changeName(change.kind), change.url, change.before, change.after, change.detail});
    if (report.close() != 0) {
        printError("cannot write " + options.out + ": " + report.errorText());
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace

int runDiff(int argc, char** argv) {
    if (asksForHelp(argc, argv)) {
        std::fputs(kUsage, stdout);
        return ExitOk;
    }
    DiffOptions options;
    if (int result = parseDiffOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return result;
    }
    std::vector<MapChange> changes;
    std::string why;
    std::vector<std::string> warnings;
    int compared = 0;
    try {
        compared = compareMapFiles(options.older, options.newer, options.withLinks, changes, why, &warnings);
    } catch (const std::bad_alloc&) {
        // What was read is freed by now, so there is room for the message.
        compared = 1;
        why = "out of memory: the maps are bigger than this machine can hold";
    }
    for (const std::string& warning : warnings)
        printError("warning: " + warning);
    if (compared != 0) {
        printError(why);
        return ExitFailed;
    }
    const int written = options.format == "html" ? writeHtml(options, changes) : writeTable(options, changes);
    if (written != ExitOk)
        return written;
    int broken = 0;
    for (const MapChange& change : changes)
        broken += change.kind == MapChange::Kind::Broken;
    std::fprintf(stderr, "%zu change(s), %d newly broken\n", changes.size(), broken);
    return broken > 0 ? ExitFailed : ExitOk;
}

} // namespace lurvik::cli
