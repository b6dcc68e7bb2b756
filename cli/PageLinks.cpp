#include "PageLinks.h"

#include "CliCommon.h"

namespace lurvik::cli {

namespace {

// The file was read whole once already, so a failure now means it changed since or holds an
// address that does not parse: said as the open says a damaged map.
void printDamaged(const std::string& fileName) {
    printError("cannot open " + fileName + ": " + fileName + " is damaged or cut short");
}

} // namespace

PageLinks::~PageLinks() {
    if (m_holding)
        m_holding->links.clear();
}

int PageLinks::begin(const SiteMapFile& map) {
    m_fileName = map.fileName.str();
    if (m_reader.open(m_fileName, map.resourceKinds) != 0) {
        printDamaged(m_fileName);
        return 1;
    }
    return 0;
}

int PageLinks::give(int i, SiteNode& page) {
    if (m_holding)
        m_holding->links.clear();
    m_holding = nullptr;
    if (i >= m_reader.pageCount())
        return 0;
    if (m_reader.next(page) != 0) {
        printDamaged(m_fileName);
        return 1;
    }
    m_holding = &page;
    return 0;
}

} // namespace lurvik::cli
