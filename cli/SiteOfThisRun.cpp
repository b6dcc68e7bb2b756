#include "SiteOfThisRun.h"

namespace lurvik::cli {

SiteEngine& siteOfThisRun() {
    static SiteEngine* const site = new SiteEngine;
    return *site;
}

} // namespace lurvik::cli
