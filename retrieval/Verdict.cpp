#include "Verdict.h"

namespace lurvik {

Verdict verdictOf(bool failed, int status, std::string_view text) {
    if (!failed)
        return Verdict::Ok;
    if (status == 401 || status == 403 || status == 429)
        return Verdict::Blocked;
    if (text.find("robots.txt") != std::string_view::npos ||
        text.find("(a bot challenge)") != std::string_view::npos)
        return Verdict::Blocked;
    return Verdict::Broken;
}

const char* verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Blocked:
        return "blocked";
    case Verdict::Broken:
        break;
    }
    return "broken";
}

} // namespace lurvik
