#include "RetrievalLimits.h"

namespace lurvik {

bool withinLimitMode(const SiteEngine& engine, const SiteNode& page, const URL& target) {
    switch (engine.limitMode) {
    case LIMIT_DOMAIN:
        return target.sameDomain(page.url);
    case LIMIT_HOST:
        return target.getHost() == page.url.getHost();
    case LIMIT_PATH: {
        std::string_view directory = page.url.getDir();
        return target.getDir().substr(0, directory.size()) == directory &&
               target.getHost() == page.url.getHost();
    }
    case LIMIT_NONE:
        return true;
    default:
        return false;
    }
}

} // namespace lurvik
