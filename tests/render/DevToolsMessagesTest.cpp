#include "render/DevToolsMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace lurvik;

namespace {

std::vector<std::string> drain(MessageSplitter& splitter) {
    std::vector<std::string> out;
    std::string message;
    while (splitter.next(message))
        out.push_back(message);
    return out;
}

} // namespace

// The browser's stream arrives in pieces that cut messages anywhere, NULs included.
TEST(MessageSplitter, CutsTheStreamAtEachNulWhateverThePieces) {
    const std::string stream =
        std::string("{\"id\":1}") + '\0' + "{\"method\":\"a\"}" + '\0' + '\0' + "{\"id\":2";
    for (size_t piece : {1u, 3u, 7u, 100u}) {
        MessageSplitter splitter;
        std::vector<std::string> got;
        for (size_t at = 0; at < stream.size(); at += piece) {
            splitter.append(stream.data() + at, std::min(piece, stream.size() - at));
            for (std::string& message : drain(splitter))
                got.push_back(message);
        }
        EXPECT_EQ(got, (std::vector<std::string>{"{\"id\":1}", "{\"method\":\"a\"}", ""})) << piece;
        splitter.append("}\0", 2);
        EXPECT_EQ(drain(splitter), std::vector<std::string>{"{\"id\":2}"}) << piece;
    }
}

TEST(MessageSplitter, AMessageWithoutEndPastTheCapStopsTheStream) {
    MessageSplitter splitter;
    const std::string chunk(1 << 20, 'x');
    for (size_t total = 0; total <= MessageSplitter::kMaxMessageBytes; total += chunk.size())
        splitter.append(chunk.data(), chunk.size());
    splitter.append("\0", 1);
    std::string message;
    EXPECT_TRUE(splitter.isOverflowed());
    EXPECT_FALSE(splitter.next(message));
}

TEST(Base64, EncodesEveryRemainder) {
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {std::string("\xff\x00\xfe", 3), "/wD+"},
    };
    for (const auto& [in, out] : rows)
        EXPECT_EQ(base64Encode(in), out) << in;
}
