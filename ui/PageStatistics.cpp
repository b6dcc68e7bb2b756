#include "PageStatistics.h"

namespace lurvik {

namespace {

void addRow(std::vector<StatisticRow>& rows, std::string label, int value, int image) {
    if (value != 0)
        rows.push_back({std::move(label), std::to_string(value), image});
}

} // namespace

std::vector<StatisticRow> treeStatistics(int siteCount) {
    return {{"Number of sites lurviked", siteCount == 0 ? "None" : std::to_string(siteCount), 1}};
}

std::vector<StatisticRow> pageStatistics(const SiteNode& node, int level, FileTypeTable& types) {
    std::vector<StatisticRow> rows;
    addRow(rows, "Total Number of Links", node.links.len(), 1);
    addRow(rows, "Page Size in Bytes", node.size, 2);
    addRow(rows, "Times this page is referred to", node.parents.len(), 2);
    addRow(rows, "Level", level, 2);
    struct KindRow {
        const char* label;
        int kind;
        int image;
    };
    static constexpr KindRow kKinds[] = {
        {"Number of Inline Images", LINK_IMAGE, 7},
        {"Number of Java Applets", LINK_APPLET, 9},
        {"Number of ActiveX Controls", LINK_ACTIVEX, 11},
        {"Number of Frames", LINK_FRAME, 10},
        {"Number of ImageMap Links", LINK_IMAGEMAP, 8},
        {"Number of Mail Links", LINK_MAIL, 6},
        {"Number of News Links", LINK_NEWS, 5},
        {"Number of HTTP Links", LINK_HTTP, 1},
        {"Number of FTP Links", LINK_FTP, 3},
        {"Number of Gopher Links", LINK_GOPHER, 4},
        {"Number of File Links", LINK_FILE, 2},
    };
    for (const KindRow& kind : kKinds)
        addRow(rows, kind.label, countLinksOfKind(node.links, kind.kind), kind.image);
    std::vector<Str> names;
    types.typeNames(names);
    for (const Str& name : names) {
        int image = 0;
        types.imageIndexForTypeName(name, image);
        addRow(rows, "Number of " + name.str() + "(s)", countLinksOfTypeName(node.links, name),
               image ? image : 1);
    }
    return rows;
}

} // namespace lurvik
