#include "RetrievalLimits.h"

namespace lurvik {

bool withinLimitMode(const SiteEngine& engine, const SiteNode& page, const URL& target) {
    return withinLimitMode(engine.limitMode, page.url, target);
}

bool withinLimitMode(int limitMode, const URL& page, const URL& target) {
    switch (limitMode) {
    case LIMIT_DOMAIN:
        return target.sameDomain(page);
    case LIMIT_HOST:
        return target.getHost() == page.getHost();
    case LIMIT_PATH: {
        std::string_view directory = page.getDir();
        return target.getDir().substr(0, directory.size()) == directory && target.getHost() == page.getHost();
    }
    case LIMIT_NONE:
        return true;
    default:
        return false;
    }
}

} // namespace lurvik
