#include "LinkStatus.h"

#include "RetrievalLimits.h"

namespace lurvik {

namespace {

std::string withStatus(const char* word, int status) {
    return status > 0 ? std::string(word) + " " + std::to_string(status) : std::string(word);
}

} // namespace

const char* nodeStateName(int state) {
    switch (state) {
    case NODE_WAITING:
        return "waiting";
    case NODE_RETRIEVING:
        return "retrieving";
    case NODE_PARSING:
        return "received";
    case NODE_PARSED:
        return "parsed";
    case NODE_ERROR:
        return "failed";
    case NODE_DONE:
        return "done";
    default:
        return "unknown";
    }
}

std::string linkTargetStatus(const SiteEngine& engine, const SiteNode& page, const LinkRecord& link,
                             const ResourceChecker* checker) {
    const SiteNode* node = link.url.isValid() ? engine.findNode(link.url, true, true) : nullptr;
    const LinkTarget target{node ? node->state.load() : 0, node ? node->httpStatus : 0};
    return linkTargetStatus(node ? &target : nullptr, engine.limitMode, page.url, link, checker);
}

std::string linkTargetStatus(const LinkTarget* target, int limitMode, const URL& pageURL,
                             const LinkRecord& link, const ResourceChecker* checker) {
    if (target)
        return withStatus(nodeStateName(target->state), target->httpStatus);
    if (std::string checked = checkStatus(link, checker); !checked.empty())
        return checked;
    bool within = link.url.isHttp() && withinLimitMode(limitMode, pageURL, link.url);
    if (link.isHtmlLink())
        return within ? "not retrieved" : "outside limits";
    return link.url.isHttp() && !within ? "outside limits" : "unchecked";
}

std::string checkStatus(const LinkRecord& link, const ResourceChecker* checker) {
    if (link.url.isUnparsed())
        return std::string("broken: ") + kInvalidAddressText;
    const ResourceChecker::Result* result = checker && link.url.isHttp() ? checker->find(link.url) : nullptr;
    return result ? checkedStatus(*result) : std::string();
}

std::string checkedStatus(const ResourceChecker::Result& result) {
    if (!result.failed)
        return withStatus("checked", result.status);
    // A failure of the program's own ("Error - Redirected outside the limits...") says what it was.
    const bool ownError = result.errorText.view().substr(0, 8) == "Error - ";
    return result.status > 0 && !ownError ? withStatus("broken", result.status)
                                          : "broken: " + result.errorText.str();
}

} // namespace lurvik
