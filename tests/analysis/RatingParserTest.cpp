#include "TestFiles.h"
#include "analysis/RatingSystem.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <vector>

using namespace lurvik;
using lurvik::test::readFileBytes;

namespace {

const std::string kRatings = std::string(LURVIK_TEST_DATA) + "/ratings/";
const std::string kShipped = std::string(LURVIK_TEST_DATA) + "/../../analysis/data/ORVANNE.RAT";

// One line per category: "transmitAs|name|min|max|limit|value=name,..." so that a whole system
// compares in one expectation.
std::vector<std::string> summary(const RatingSystem& system) {
    std::vector<std::string> lines;
    for (const RatingCategory* c : system.categories) {
        std::string line = c->transmitAs.str() + "|" + c->name.str() + "|" + std::to_string(c->min) + "|" +
                           std::to_string(c->max) + "|" + std::to_string(c->limit) + "|";
        for (const RatingValue* v : c->values)
            line += std::to_string(v->value) + "=" + v->name.str() + ",";
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(RatingParser, ShippedSystem) {
    RatingSystem system;
    ASSERT_EQ(system.loadFile(kShipped), 0);
    EXPECT_EQ(system.picsVersion, "1.1");
    EXPECT_EQ(system.ratingSystem, "http://www.orvanne.example/ratings/orvanne-1.0.html");
    EXPECT_EQ(system.ratingService, "http://www.orvanne.example/ratings/");
    EXPECT_EQ(system.name, "Orvanne Content Ratings");
    EXPECT_NE(system.description.find("from 0 (none) to 4 (the most extreme)."), -1)
        << system.description.text();
    // The levels' own texts are the shipped file's to choose; their number and order are not.
    std::vector<std::string> categories;
    for (const RatingCategory* c : system.categories)
        categories.push_back(c->transmitAs.str() + "|" + c->name.str() + "|" + std::to_string(c->max) + "|" +
                             std::to_string(c->values.len()));
    EXPECT_EQ(categories,
              (std::vector<std::string>{"v|Violence|4|5", "s|Sex|4|5", "n|Nudity|4|5", "l|Language|4|5"}));
}

TEST(RatingParser, HandWrittenLayouts) {
    RatingSystem system;
    ASSERT_EQ(system.loadFile(kRatings + "layouts.rat"), 0);
    EXPECT_EQ(system.name, "Layout Test System   ");
    EXPECT_EQ(system.description, "Hand-written layouts (with parentheses) that the reader must follow");
    EXPECT_EQ(summary(system),
              (std::vector<std::string>{"d|Named after|1|3|0|1=one,3=three,",
                                        "o|Only a description|0|0|0|0=zero,", "w|Wrapped|0|0|0|0=w0,"}));
    EXPECT_EQ(system.categories.get(0)->values.get(1)->description, "three (the most)");

    // A keyword run straight into the "(" of its nested group reads as if spaced.
    RatingSystem tabs;
    ASSERT_EQ(tabs.loadFile(kRatings + "tabs-before-paren.rat"), 0);
    EXPECT_EQ(summary(tabs), (std::vector<std::string>{"t|Tabbed|0|0|0|0=t0,"}));
    RatingSystem joined;
    joined.parse("((name \"J\")(category(transmit-as \"j\")(label(name \"j1\")(value 1))))");
    EXPECT_EQ(summary(joined), (std::vector<std::string>{"j||0|0|0|1=j1,"}));
}

TEST(RatingParser, AppendsAndAnUnopenableFileChangesNothing) {
    RatingSystem system;
    ASSERT_EQ(system.loadFile(kRatings + "layouts.rat"), 0);
    ASSERT_EQ(system.loadFile(kShipped), 0);
    EXPECT_EQ(system.name, "Orvanne Content Ratings");
    ASSERT_EQ(system.categories.len(), 7);
    EXPECT_EQ(system.categories.get(3)->transmitAs, "v");

    const RatingSystem before = system;
    EXPECT_EQ(system.loadFile(kRatings + "no-such-file.rat"), static_cast<int>(RatingFileError::OpenFailed));
    EXPECT_NE(system.loadFile(kRatings), 0);
    EXPECT_EQ(summary(system), summary(before));
    EXPECT_EQ(system.name, before.name);

    // Copies own their levels: changing or clearing one leaves the other intact.
    RatingSystem copy = system;
    copy.categories.get(0)->values.get(0)->name = "changed";
    copy.clear();
    EXPECT_TRUE(copy.name.isEmpty());
    EXPECT_EQ(copy.categories.len(), 0);
    EXPECT_EQ(summary(system), summary(before));
}

TEST(RatingParser, TruncatedAndRandomTextNeverCrashes) {
    RatingSystem full;
    ASSERT_EQ(full.loadFile(kShipped), 0);
    const std::vector<std::string> fullSummary = summary(full);
    const RatingSystem sentinel = [] {
        RatingSystem s;
        s.parse("((name \"Sentinel\")(category (transmit-as \"z\") (label (value 9))))");
        return s;
    }();

    // Categories are only added when they close, so each prefix yields the leading complete ones.
    std::string shipped = readFileBytes(kShipped);
    for (size_t length = 0; length <= shipped.size(); ++length) {
        RatingSystem system;
        system.parse(Str(shipped.substr(0, length)));
        std::vector<std::string> got = summary(system);
        ASSERT_LE(got.size(), fullSummary.size()) << length;
        EXPECT_TRUE(std::equal(got.begin(), got.end(), fullSummary.begin())) << length;
    }

    std::vector<std::string> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(kRatings))
        inputs.push_back(readFileBytes(entry.path()));
    const char* pieces[] = {"(", ")", "\"", " ", "\n", "\t", "name ", "category", "label", "value 1", "x"};
    std::mt19937 random(73311);
    for (int round = 0; round < 4000; ++round) {
        std::string text;
        int count = std::uniform_int_distribution<int>(0, 120)(random);
        for (int i = 0; i < count; ++i) {
            if (random() % 8 == 0)
                text += static_cast<char>(random() % 256);
            else
                text += pieces[random() % std::size(pieces)];
        }
        inputs.push_back(text);
    }
    for (const std::string& text : inputs) {
        for (size_t cut : {text.size(), text.size() / 2}) {
            RatingSystem system = sentinel;
            system.parse(Str(text.substr(0, cut)));
            ASSERT_GE(system.categories.len(), 1);
            EXPECT_EQ(summary(system)[0], "z||0|0|0|9=,");
            EXPECT_EQ(system.inQuote, 0);
        }
    }
}
