#include "TestFiles.h"
#include "core/InputFrogFile.h"
#include "core/OutputFrogFile.h"
#include "core/TempFrogFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace lurvik;
using namespace lurvik::test;

namespace {

MemBlock blockOf(std::string_view bytes) {
    MemBlock block;
    block.set(bytes.data(), static_cast<int>(bytes.size()));
    return block;
}

std::string bytesOf(const MemBlock& block) {
    return std::string(block.getAddr(), static_cast<size_t>(block.len()));
}

std::string randomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Blocks of every awkward size: empty, tiny, around the write buffer, and one over a megabyte.
std::vector<std::string> sampleBlocks() {
    std::vector<std::string> blocks = {"",
                                       "a",
                                       std::string(3, '\0'),
                                       randomBytes(65535, 1),
                                       randomBytes(65536, 2),
                                       randomBytes(1536 * 1024 + 7, 3)};
    for (int i = 0; i < 500; ++i)
        blocks.push_back("block " + std::to_string(i));
    return blocks;
}

// Reads blocks until one fails; returns that code and how many came back intact.
int readAllBlocks(InputFrogFile& in, const std::vector<std::string>& expected, size_t& intact) {
    intact = 0;
    for (;;) {
        MemBlock block;
        if (int code = in.read(block))
            return code;
        if (intact >= expected.size() || bytesOf(block) != expected[intact])
            return -1;
        ++intact;
    }
}

class FrogFileTest : public ::testing::Test {
protected:
    std::string path(const char* name) const { return m_dir + "/" + name; }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TemporaryDirectory m_temporary{"lurvik-frog"};
    const std::string& m_dir = m_temporary.path();
};

int code(FrogFileError error) {
    return static_cast<int>(error);
}

} // namespace

TEST_F(FrogFileTest, PlainRoundTripOfBlocksTextAndBytes) {
    auto blocks = sampleBlocks();
    OutputFrogFile out(path("plain.bin"));
    ASSERT_TRUE(out.isOpen());
    ASSERT_EQ(out.write(Str("head")), 0);
    for (const auto& b : blocks)
        ASSERT_EQ(out.write(blockOf(b)), 0);
    ASSERT_EQ(out.write("tail", 4), 0);
    ASSERT_EQ(out.close(), 0);
    EXPECT_FALSE(out.isOpen());
    EXPECT_EQ(entries(), std::vector<std::string>{"plain.bin"});

    InputFrogFile in;
    ASSERT_EQ(in.open(path("plain.bin")), 0);
    char head[4];
    ASSERT_EQ(in.readExact(head, 4), 0);
    EXPECT_EQ(std::string(head, 4), "head");
    for (const auto& b : blocks) {
        MemBlock block;
        ASSERT_EQ(in.read(block), 0);
        ASSERT_EQ(bytesOf(block), b);
    }
    Str rest;
    int got = -1;
    ASSERT_EQ(in.read(rest, 100, &got), 0);
    EXPECT_EQ(got, 4);
    EXPECT_EQ(rest, "tail");
    EXPECT_EQ(in.read(rest, 100, &got), code(FrogFileError::EndOfFile));
    EXPECT_EQ(rest, "tail") << "a failed read leaves its out-parameter alone";
    MemBlock none;
    EXPECT_EQ(in.read(none), code(FrogFileError::EndOfFile));
    EXPECT_EQ(in.close(), 0);
    EXPECT_NE(in.read(none), 0);
}

// A block made in pieces is framed and read back as the same block made whole, between blocks
// written the usual way; the pieces stay near their size however big the block; a maker that
// gives more bytes the second time fails the file instead of shifting everything after it.
TEST_F(FrogFileTest, ABlockMadeInPiecesIsTheBlockMadeWhole) {
    const std::string big = randomBytes(3 * BlockStream::kPieceBytes + 11, 7);
    auto make = [&big](auto& out) {
        out.cat(Str("head"));
        for (int i = 0; i < 40000; ++i) {
            out.cat(i, 1 + i % 4);
            out.cat(std::string_view(big).substr(i, i % 100));
        }
        for (size_t at = 0; at < big.size(); at += 1000)
            out.cat(big.data() + at, static_cast<int>(std::min<size_t>(1000, big.size() - at)));
        out.cat(int64_t{-1}, 8);
    };
    MemBlock whole;
    make(whole);

    OutputFrogFile out(path("pieces.bin"));
    ASSERT_EQ(out.write(blockOf("before")), 0);
    ASSERT_EQ(out.writeBlock([&make](BlockStream& stream) { make(stream); }), 0);
    ASSERT_EQ(out.writeBlock([](BlockStream&) {}), 0);
    ASSERT_EQ(out.write(blockOf("after")), 0);
    ASSERT_EQ(out.close(), 0);
    InputFrogFile in;
    ASSERT_EQ(in.open(path("pieces.bin")), 0);
    size_t intact = 0;
    EXPECT_EQ(readAllBlocks(in, {"before", bytesOf(whole), "", "after"}, intact),
              code(FrogFileError::EndOfFile));
    EXPECT_EQ(intact, 4u);

    int largest = 0;
    BlockStream stream([&largest](const char*, int n) {
        largest = std::max(largest, n);
        return 0;
    });
    make(stream);
    ASSERT_EQ(stream.finish(), 0);
    EXPECT_EQ(stream.length(), whole.len());
    EXPECT_LT(largest, BlockStream::kPieceBytes + 1000);
    EXPECT_GE(largest, BlockStream::kPieceBytes);

    writeFileBytes(path("site.web"), "old");
    OutputFrogFile growing(path("site.web"));
    int passes = 0;
    auto longerEachTime = [&passes](BlockStream& stream) {
        stream.cat(std::string_view("more each time"));
        ++passes;
        for (int i = 0; i < passes; ++i)
            stream.cat(i, 4);
    };
    EXPECT_NE(growing.writeBlock(longerEachTime), 0);
    EXPECT_NE(growing.close(), 0);
    EXPECT_EQ(readFileBytes(path("site.web")), "old");
}

TEST_F(FrogFileTest, CompressedRoundTrip) {
    auto blocks = sampleBlocks();
    TempFrogFile temp;
    ASSERT_TRUE(temp.isOpen());
    for (const auto& b : blocks)
        ASSERT_EQ(temp.write(blockOf(b)), 0);
    ASSERT_EQ(temp.compress(path("map.web")), 0);
    EXPECT_EQ(entries(), std::vector<std::string>{"map.web"}) << "the temporary file lives elsewhere";

    InputFrogFile in;
    ASSERT_EQ(in.openCompressed(path("map.web")), 0);
    size_t intact = 0;
    EXPECT_EQ(readAllBlocks(in, blocks, intact), code(FrogFileError::EndOfFile));
    EXPECT_EQ(intact, blocks.size());

    // A temporary file stays usable after compress: more content, compressed again.
    ASSERT_EQ(temp.write(blockOf("more")), 0);
    ASSERT_EQ(temp.compress(path("map2.web")), 0);
    InputFrogFile again;
    ASSERT_EQ(again.openCompressed(path("map2.web")), 0);
    blocks.push_back("more");
    EXPECT_EQ(readAllBlocks(again, blocks, intact), code(FrogFileError::EndOfFile));
    EXPECT_EQ(intact, blocks.size());

    TempFrogFile empty;
    ASSERT_EQ(empty.compress(path("empty.web")), 0);
    InputFrogFile emptyIn;
    ASSERT_EQ(emptyIn.openCompressed(path("empty.web")), 0);
    MemBlock block;
    EXPECT_EQ(emptyIn.read(block), code(FrogFileError::EndOfFile));
}

TEST_F(FrogFileTest, DamagedPlainFilesFailCleanly) {
    std::vector<std::string> blocks = {"first", "", randomBytes(300, 4), "last"};
    std::string whole;
    std::vector<size_t> boundaries = {0};
    {
        OutputFrogFile out(path("whole"));
        for (const auto& b : blocks)
            ASSERT_EQ(out.write(blockOf(b)), 0);
        ASSERT_EQ(out.close(), 0);
        whole = readFileBytes(path("whole"));
        size_t at = 0;
        for (const auto& b : blocks)
            boundaries.push_back(at += 4 + b.size());
    }
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        writeFileBytes(path("cut"), whole.substr(0, cut));
        InputFrogFile in;
        ASSERT_EQ(in.open(path("cut")), 0);
        size_t intact = 0;
        int result = readAllBlocks(in, blocks, intact);
        auto boundary = std::find(boundaries.begin(), boundaries.end(), cut);
        if (boundary != boundaries.end()) {
            EXPECT_EQ(result, code(FrogFileError::EndOfFile)) << cut;
            EXPECT_EQ(intact, static_cast<size_t>(boundary - boundaries.begin())) << cut;
        } else {
            EXPECT_EQ(result, code(FrogFileError::Truncated)) << cut;
            EXPECT_FALSE(in.errorText().isEmpty());
        }
    }

    // Lengths that no writer produces must not turn into allocations.
    const std::vector<std::pair<std::string, FrogFileError>> absurd = {
        {std::string("\xff\xff\xff\xff", 4) + "abc", FrogFileError::Corrupt},
        {std::string("\x00\x00\x00\x40", 4) + "abc", FrogFileError::Truncated},
        {std::string("\x10\x00\x00\x00", 4) + "abc", FrogFileError::Truncated},
    };
    for (const auto& [bytes, expected] : absurd) {
        writeFileBytes(path("absurd"), bytes);
        InputFrogFile in;
        ASSERT_EQ(in.open(path("absurd")), 0);
        MemBlock block;
        EXPECT_EQ(in.read(block), code(expected));
        EXPECT_EQ(block.len(), 0);
    }

    InputFrogFile missing;
    EXPECT_EQ(missing.open(path("nothing-here")), code(FrogFileError::OpenFailed));
    EXPECT_NE(missing.errorText().find("No such file"), -1) << missing.errorText().text();
    InputFrogFile directory;
    EXPECT_EQ(directory.open(m_dir), code(FrogFileError::OpenFailed));
}

// gzip allows members one after another, which read as one stream; bytes after a whole member
// that start no other are left unread, as zlib leaves them.
TEST_F(FrogFileTest, CompressedMembersReadAsOneStream) {
    std::vector<std::string> blocks = {"alpha", randomBytes(300000, 8), std::string(2000000, 'y')};
    TempFrogFile temp;
    for (const auto& b : blocks)
        ASSERT_EQ(temp.write(blockOf(b)), 0);
    ASSERT_EQ(temp.compress(path("one.web")), 0);
    const std::string member = readFileBytes(path("one.web"));
    std::vector<std::string> twice = blocks;
    twice.insert(twice.end(), blocks.begin(), blocks.end());
    for (const auto& [bytes, expected] :
         {std::pair{member + member, twice}, std::pair{member + "junk", blocks},
          std::pair{member + "\x1f", blocks}}) {
        writeFileBytes(path("many.web"), bytes);
        InputFrogFile in;
        ASSERT_EQ(in.openCompressed(path("many.web")), 0);
        size_t intact = 0;
        EXPECT_EQ(readAllBlocks(in, expected, intact), code(FrogFileError::EndOfFile)) << bytes.size();
        EXPECT_EQ(intact, expected.size());
    }
}

TEST_F(FrogFileTest, DamagedCompressedFilesFailCleanly) {
    std::vector<std::string> blocks = {"alpha", randomBytes(20000, 5), std::string(50000, 'x'), "omega"};
    TempFrogFile temp;
    for (const auto& b : blocks)
        ASSERT_EQ(temp.write(blockOf(b)), 0);
    ASSERT_EQ(temp.compress(path("good.web")), 0);
    std::string whole = readFileBytes(path("good.web"));

    // Anything short of the whole stream is damage, even when it ends between two blocks.
    for (size_t cut = 0; cut < whole.size(); cut += (cut < 64 ? 1 : 97)) {
        writeFileBytes(path("cut.web"), whole.substr(0, cut));
        InputFrogFile in;
        if (in.openCompressed(path("cut.web")) != 0)
            continue;
        size_t intact = 0;
        int result = readAllBlocks(in, blocks, intact);
        EXPECT_NE(result, 0) << cut;
        EXPECT_NE(result, code(FrogFileError::EndOfFile)) << cut;
    }

    std::string flipped = whole;
    flipped[flipped.size() / 2] ^= 0x55;
    std::string badCrc = whole;
    badCrc[badCrc.size() - 6] ^= 0x01;
    for (const auto& damaged : {flipped, badCrc}) {
        writeFileBytes(path("damaged.web"), damaged);
        InputFrogFile in;
        ASSERT_EQ(in.openCompressed(path("damaged.web")), 0);
        size_t intact = 0;
        int result = readAllBlocks(in, blocks, intact);
        EXPECT_TRUE(result == code(FrogFileError::Corrupt) || result == code(FrogFileError::Truncated))
            << result;
    }

    const std::vector<std::string> notCompressed = {"", "x", "plain text, no header", randomBytes(4096, 6)};
    for (const auto& bytes : notCompressed) {
        writeFileBytes(path("plain.web"), bytes);
        InputFrogFile in;
        EXPECT_EQ(in.openCompressed(path("plain.web")), code(FrogFileError::NotCompressed)) << bytes.size();
        EXPECT_FALSE(in.isOpen());
    }

    // The gzip magic followed by rubbish.
    writeFileBytes(path("rubbish.web"), std::string("\x1f\x8b", 2) + randomBytes(4096, 7));
    InputFrogFile rubbish;
    if (rubbish.openCompressed(path("rubbish.web")) == 0) {
        MemBlock block;
        int result = rubbish.read(block);
        EXPECT_NE(result, 0);
        EXPECT_NE(result, code(FrogFileError::EndOfFile));
    }
}

TEST_F(FrogFileTest, SuccessfulSaveReplacesTargetAndKeepsItsPermissions) {
    writeFileBytes(path("site.web"), "old");
    ASSERT_EQ(chmod(path("site.web").c_str(), 0640), 0);
    OutputFrogFile out(path("site.web"));
    ASSERT_EQ(out.write(Str("new")), 0);
    EXPECT_EQ(readFileBytes(path("site.web")), "old") << "nothing is visible before close";
    ASSERT_EQ(out.close(), 0);
    EXPECT_EQ(readFileBytes(path("site.web")), "new");
    struct stat info {};
    ASSERT_EQ(stat(path("site.web").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(), std::vector<std::string>{"site.web"});
    EXPECT_EQ(out.open(path("site.web")), 0) << "a closed file can be opened again";
    out.discard();
}

TEST_F(FrogFileTest, UnfinishedOrFailedSaveLeavesOldFileAndNoTemporary) {
    writeFileBytes(path("site.web"), "old");

    { // Destroyed without close.
        OutputFrogFile out(path("site.web"));
        ASSERT_EQ(out.write(Str(std::string(200000, 'n'))), 0);
    }
    {
        OutputFrogFile out(path("fresh.web"));
        ASSERT_EQ(out.write(Str("never")), 0);
        out.discard();
        EXPECT_NE(out.close(), 0);
    }
    EXPECT_EQ(readFileBytes(path("site.web")), "old");
    EXPECT_EQ(entries(), std::vector<std::string>{"site.web"});

    { // A folder that does not exist.
        OutputFrogFile out(m_dir + "/no/such/site.web");
        EXPECT_FALSE(out.isOpen());
        EXPECT_EQ(out.lastError(), code(FrogFileError::OpenFailed));
        EXPECT_NE(out.errorText().find("No such file or directory"), -1) << out.errorText().text();
        EXPECT_NE(out.write(Str("x")), 0);
        TempFrogFile temp;
        ASSERT_EQ(temp.write(Str("x")), 0);
        EXPECT_EQ(temp.compress(m_dir + "/no/such/site.web"), code(FrogFileError::OpenFailed));
    }

    { // The disk fills up half way: the size limit makes writes fail as a full disk would.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 256 * 1024;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        OutputFrogFile out(path("site.web"));
        int failed = 0;
        for (int i = 0; i < 100 && failed == 0; ++i)
            failed = out.write(Str(std::string(10000, 'f')));
        EXPECT_EQ(failed, code(FrogFileError::WriteFailed));
        EXPECT_EQ(out.write(Str("more")), failed) << "a failed file stays failed";
        EXPECT_EQ(entries(), std::vector<std::string>{"site.web"}) << "the half-written file is gone at once";
        EXPECT_EQ(out.close(), failed);
        EXPECT_NE(out.errorText().find("File too large"), -1) << out.errorText().text();

        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        TempFrogFile temp;
        for (int i = 0; i < 40; ++i)
            ASSERT_EQ(temp.write(Str(randomBytes(10000, i))), 0);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_EQ(temp.compress(path("site.web")), code(FrogFileError::WriteFailed));
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        std::signal(SIGXFSZ, SIG_DFL);
    }
    EXPECT_EQ(readFileBytes(path("site.web")), "old");
    EXPECT_EQ(entries(), std::vector<std::string>{"site.web"});

    { // The target is a folder: refused at once, nothing written beside it.
        std::filesystem::create_directory(path("folder.web"));
        std::filesystem::create_directory(path("folder.web/inside"));
        OutputFrogFile out(path("folder.web"));
        EXPECT_FALSE(out.isOpen());
        EXPECT_FALSE(out.errorText().isEmpty());
    }
    EXPECT_EQ(entries(), (std::vector<std::string>{"folder.web", "site.web"}));
}

TEST_F(FrogFileTest, ASaveKilledHalfWayLeavesNothingAfterTheNextSave) {
    writeFileBytes(path("site.web"), "old");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        OutputFrogFile out(path("site.web"));
        (void)out.write(Str("half"));
        raise(SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(entries().size(), 2u) << "the killed writer's temporary file is there";
    EXPECT_EQ(readFileBytes(path("site.web")), "old");

    OutputFrogFile out(path("site.web"));
    ASSERT_EQ(out.write(Str("new")), 0);
    ASSERT_EQ(out.close(), 0);
    EXPECT_EQ(entries(), std::vector<std::string>{"site.web"});
    EXPECT_EQ(readFileBytes(path("site.web")), "new");
}

TEST_F(FrogFileTest, DevicesAreWrittenStraightAndLinksFollowed) {
    writeFileBytes(path("real.web"), "old");
    std::filesystem::create_directory(path("maps"));
    std::filesystem::create_symlink("../real.web", path("maps/link.web"));
    {
        OutputFrogFile out(path("maps/link.web"));
        ASSERT_EQ(out.write(Str("through the link")), 0);
        ASSERT_EQ(out.close(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(path("maps/link.web")));
    EXPECT_EQ(readFileBytes(path("real.web")), "through the link");
    std::filesystem::create_symlink("new.web", path("dangling.web"));
    {
        OutputFrogFile out(path("dangling.web"));
        ASSERT_EQ(out.write(Str("made")), 0);
        ASSERT_EQ(out.close(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(path("dangling.web")));
    EXPECT_EQ(readFileBytes(path("new.web")), "made");

    // FIFOs are checked through every output of the command line; a device stands for them here.
    if (geteuid() == 0) {
        // A null device of our own: the test must never risk the system's.
        ASSERT_EQ(mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        TempFrogFile temp;
        ASSERT_EQ(temp.write(Str("compressed")), 0);
        EXPECT_EQ(temp.compress(path("null")), 0);
        EXPECT_TRUE(std::filesystem::is_character_file(path("null")));
    }
    std::vector<std::string> expected{"dangling.web", "maps", "new.web", "real.web"};
    if (geteuid() == 0)
        expected.insert(expected.begin() + 3, "null");
    EXPECT_EQ(entries(), expected) << "no temporary file is left beside any of them";
}
