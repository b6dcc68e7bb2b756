#pragma once

#include "CrawlOptions.h"
#include "ReportWriter.h"
#include "retrieval/LinkStatus.h"
#include "retrieval/ResourceChecker.h"
#include "retrieval/SiteEngine.h"
#include "sitemap/MapOutline.h"

#include <string>

namespace lurvik::cli {

// The page report: one record per node, failed and unfinished ones included.
// Fields: url, state, status, error, level, size, title, parents, referrer, verdict, note.
// warning, when not empty, is the report's first line.
[[nodiscard]] int writePageReport(const SiteEngine& engine, const std::string& path, ReportFormat format,
                                  const std::string& warning, std::string& errorText);
// The same for a saved map read as an outline, as it reads when loaded.
[[nodiscard]] int writePageReport(const MapOutline& map, const std::string& path, ReportFormat format,
                                  std::string& errorText);
// The link report: one record per link of every finished page.
// Fields: page, kind, type, url, text, target, verdict, line; after a crawl that rendered its
// pages also rendered (true for a link only the rendered page holds).
enum class RenderedField { Omitted, Written };
[[nodiscard]] int writeLinkReport(const SiteEngine& engine, const ResourceChecker* checker,
                                  const std::string& path, ReportFormat format, std::string& errorText,
                                  RenderedField rendered = RenderedField::Omitted);

// "ok", "broken" or "blocked" for a finished page; empty for one still pending.
const char* pageVerdict(const SiteNode& node);
// The same for a page of a finished crawl known by its state, status and title alone.
const char* pageVerdict(int state, int httpStatus, std::string_view title);
// The verdict on what a link leads to; empty when it was not retrieved or checked (yet).
const char* linkVerdict(const SiteEngine& engine, const LinkRecord& link, const ResourceChecker* checker);
// The verdict a link has by its check alone (see checkStatus); empty when it was not checked.
const char* checkVerdict(const LinkRecord& link, const ResourceChecker* checker);

// The reports a run asked for (--report, --links-report), warning heading the page report; 0, or
// 1 after saying which could not be written.
int writeRequestedReports(const CrawlOptions& options, const SiteEngine& engine,
                          const ResourceChecker* checker, const std::string& warning);
// Pages that failed among the finished ones.
int countFailed(const SiteEngine& engine);

} // namespace lurvik::cli
