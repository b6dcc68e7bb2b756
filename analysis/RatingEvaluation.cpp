#include "RatingEvaluation.h"

namespace lurvik {

namespace {

// The text between a group's first "(" and the first ")" after it; either may be missing in
// labels that did not come from the scanner.
void groupContent(const Str& group, Str& out) {
    int open = group.find('(');
    int start = open < 0 ? 0 : open + 1;
    int close = group.find(')', start);
    group.substr(start, (close < 0 ? group.len() : close) - start, out);
}

// The number written after a category's name: from the character past the separator up to the
// next space.
int labelNumber(const Str& group, int afterName) {
    int start = afterName + 1;
    int end = group.find(' ', start);
    Str number;
    group.substr(start, (end < 0 ? group.len() : end) - start, number);
    return number.toInt();
}

} // namespace

int RatingSystem::evaluate(const Str& labels, int& rated, int& verdict, int ratingsOn, int blockUnrated,
                           int blockViolated) const {
    (void)blockViolated; // blocking is decided when a page is opened, not when it is rated
    if (!ratingsOn)
        return 0;
    if (labels.isEmpty()) {
        if (blockUnrated)
            verdict = 0;
        return 0;
    }
    rated = 1;
    verdict = -1;
    Str group;
    Str content;
    for (int start = 0; start <= labels.len();) {
        int tab = labels.find('\t', start);
        int end = tab < 0 ? labels.len() : tab;
        labels.substr(start, end - start, group);
        start = end + 1;
        groupContent(group, content);
        for (const RatingCategory* category : categories) {
            // An empty name would match between any two words.
            if (category->transmitAs.isEmpty())
                continue;
            int at = content.find(category->transmitAs.view(), 0, false, true);
            if (at < 0)
                continue;
            if (labelNumber(content, at + category->transmitAs.len()) > category->limit) {
                verdict = 0;
                break;
            }
            if (verdict == -1)
                verdict = 1;
        }
    }
    return 0;
}

int mayOpenPage(bool hasNode, int rated, int ratingVerdict, const RatingSettings& settings,
                const PasswordPrompt& prompt) {
    if (!hasNode || !settings.ratingsOn || !settings.blockViolated)
        return 1;
    bool allowed = !rated || ratingVerdict != 0;
    if (settings.blockUnrated && !rated)
        allowed = false;
    if (allowed)
        return 1;
    if (!prompt)
        return 0;
    if (settings.passwordOverride)
        return prompt(kPromptBlockedWithOverride) ? 1 : 0;
    (void)prompt(kPromptBlockedNotice);
    return 0;
}

RatePageFn makeRatePage(const RatingSettings& settings) {
    return [&settings](const Str& labels, int& rated, int& verdict) {
        (void)settings.currentRatings.evaluate(labels, rated, verdict, settings.ratingsOn,
                                               settings.blockUnrated, settings.blockViolated);
    };
}

} // namespace lurvik
