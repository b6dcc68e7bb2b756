#pragma once

#include "MapAddresses.h"
#include "StatusExtension.h"
#include "core/InputFrogFile.h"
#include "core/MemBlock.h"
#include "core/Str.h"
#include "core/TempFrogFile.h"
#include "retrieval/SiteEngine.h"

#include <functional>

namespace lurvik {

// The node records of a site map: which pages are saved, their numbering, and each page's block
// of fields, links and parent/child ids. Used by SiteMapFile; runs on the main thread only.

// Writes the tree header and every saved page to file. 0, or 4001 (pages still pending), 4002
// (nothing to save), 4003 (more pages than a map can number), 1 (a write failed).
// checked is written with the pages' statuses in a block after them (see StatusExtension.h).
// Maps of more than kMaxMapPages pages use the wide layout, whose page counts and ids are 32
// bits; wide, when given, is told which layout the tree needs before anything is written.
// With a frontier the crawl may still be running: its finished pages are written, and the
// frontier after them.
int writeTree(SiteEngine& engine, SiteNode* root, bool includeHtml, WritableFrogFile& file,
              const std::vector<CheckedLink>& checked = {},
              const std::function<int(bool wide)>& beforeTree = {}, const CrawlFrontier* frontier = nullptr);
// Reads the pages of a map into the engine, beside those it holds. 0, or 4004 (no pages),
// 4005 (a page is already in the engine), 1 (the file ended early or is damaged). After a
// failure the engine is as it was. trailing receives the block after the pages, if any: room for
// later additions to the format, which a reader that does not know them passes over.
// loaded receives the new pages in file order. With linkCounts the pages are loaded without their
// links, whose addresses are not even resolved, and linkCounts receives how many each has.
int readTree(SiteEngine& engine, InputFrogFile& file, MemBlock& trailing, std::vector<SiteNode*>& loaded,
             MapAddresses& addresses, bool wide = false, bool storesPages = true,
             std::vector<int>* linkCounts = nullptr);

// Ids and counts are 16 bits wide in the first layout, 32 in the wide one.
constexpr int kMaxMapPages = 65535;
constexpr int kMaxWideMapPages = 0x7FFFFFFF;

} // namespace lurvik
