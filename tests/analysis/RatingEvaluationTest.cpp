#include "analysis/RatingEvaluation.h"

#include <gtest/gtest.h>

using namespace lurvik;

namespace {

// Limits for v and s only, as after a registry that holds no value for l.
RatingSystem limits(int v, int s) {
    RatingSystem system;
    system.parse("((name \"T\") (category (transmit-as \"v\") (name \"V\"))"
                 " (category (transmit-as \"s\") (name \"S\")))");
    system.categories.get(0)->limit = v;
    system.categories.get(1)->limit = s;
    return system;
}

} // namespace

TEST(RatingEvaluation, LabelsAgainstLimits) {
    struct {
        const char* labels;
        int v, s, ratingsOn, blockUnrated;
        int rated, verdict; // 7 = left untouched
    } cases[] = {
        {"(v 2 s 0)", 1, 4, 1, 0, 1, 0},
        {"(v 2 s 0)", 2, 4, 1, 0, 1, 1},
        {"(x 3)", 0, 0, 1, 1, 1, -1},
        {"(l 4)", 0, 0, 1, 0, 1, -1},
        {"(V 2)", 1, 4, 1, 0, 1, 0},
        {"(vs 2)", 1, 4, 1, 0, 1, -1},
        {"(s 0 v 9)", 1, 4, 1, 0, 1, 0},
        {"(v 0)\t(s 5)", 1, 4, 1, 0, 1, 0},
        {"(v 5)\t(s 0)", 1, 4, 1, 0, 1, 0},
        {"(x 1)\t(s 4)", 1, 4, 1, 0, 1, 1},
        {"(v 0 s 1) (v 9)", 1, 4, 1, 0, 1, 1},
        {"", 1, 4, 1, 1, 7, 0},
        {"", 1, 4, 1, 0, 7, 7},
        {"(v 9)", 1, 4, 0, 1, 7, 7},
        {"", 1, 4, 0, 1, 7, 7},
    };
    for (auto& c : cases) {
        int rated = 7, verdict = 7;
        EXPECT_EQ(limits(c.v, c.s).evaluate(c.labels, rated, verdict, c.ratingsOn, c.blockUnrated, 1), 0);
        EXPECT_EQ(rated, c.rated) << c.labels;
        EXPECT_EQ(verdict, c.verdict) << c.labels << " limits " << c.v << "," << c.s;
    }
}

TEST(RatingEvaluation, MayOpenPage) {
    struct {
        bool hasNode;
        int ratingsOn, blockViolated, blockUnrated, passwordOverride;
        int rated, verdict, promptAnswer;
        int allowed, askedMode; // 0: not asked
    } cases[] = {
        {false, 1, 1, 1, 1, 1, 0, 0, 1, 0}, {true, 0, 1, 1, 1, 1, 0, 0, 1, 0},
        {true, 1, 0, 1, 1, 1, 0, 0, 1, 0},  {true, 1, 1, 0, 0, 0, 0, 0, 1, 0},
        {true, 1, 1, 1, 0, 1, -1, 0, 1, 0}, {true, 1, 1, 1, 0, 1, 1, 0, 1, 0},
        {true, 1, 1, 1, 0, 0, 0, 0, 0, 3},  {true, 1, 1, 0, 0, 1, 0, 1, 0, 3},
        {true, 1, 1, 0, 1, 1, 0, 1, 1, 2},  {true, 1, 1, 0, 1, 1, 0, 0, 0, 2},
        {true, 1, 1, 1, 1, 0, 1, 1, 1, 2},
    };
    for (auto& c : cases) {
        RatingSettings settings;
        settings.ratingsOn = c.ratingsOn;
        settings.blockViolated = c.blockViolated;
        settings.blockUnrated = c.blockUnrated;
        settings.passwordOverride = c.passwordOverride;
        int asked = 0;
        auto prompt = [&](int mode) {
            asked = mode;
            return c.promptAnswer;
        };
        int row = static_cast<int>(&c - cases);
        EXPECT_EQ(mayOpenPage(c.hasNode, c.rated, c.verdict, settings, prompt) != 0, c.allowed != 0) << row;
        EXPECT_EQ(asked, c.askedMode) << row;
        // Without a display there is nobody to ask: blocked stays blocked.
        EXPECT_EQ(mayOpenPage(c.hasNode, c.rated, c.verdict, settings, nullptr) != 0, c.askedMode == 0)
            << row;
    }
}

TEST(RatingEvaluation, EngineCallbackReadsTheSettingsAtEachCall) {
    RatingSettings settings;
    settings.currentRatings = limits(1, 4);
    std::function<void(const Str&, int&, int&)> onRatePage = makeRatePage(settings);
    int rated = 0, verdict = 0;
    onRatePage("(v 3)", rated, verdict);
    EXPECT_EQ(rated, 0);
    settings.ratingsOn = 1;
    onRatePage("(v 3)", rated, verdict);
    EXPECT_EQ(rated, 1);
    EXPECT_EQ(verdict, 0);
    settings.currentRatings.categories.get(0)->limit = 3;
    onRatePage("(v 3)", rated, verdict);
    EXPECT_EQ(verdict, 1);
}
