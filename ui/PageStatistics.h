#pragma once

#include "retrieval/SiteEngine.h"

#include <string>
#include <vector>

namespace lurvik {

// One row of the Properties sheet's statistics list.
struct StatisticRow {
    std::string label;
    std::string value;
    int image = 1; // index in the link list's images
};

// The rows for the whole tree: how many sites it holds ("None" when there is none).
std::vector<StatisticRow> treeStatistics(int siteCount);
// The rows for one page shown at level (a top-level site is 0): its links by kind and by file
// type. A count of zero gives no row.
std::vector<StatisticRow> pageStatistics(const SiteNode& node, int level, FileTypeTable& types);

} // namespace lurvik
