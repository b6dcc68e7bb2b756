#include "core/SlicedGzip.h"
#include "core/InputFrogFile.h"
#include "core/TempFrogFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zlib.h>

using namespace lurvik;

namespace {

int scratchFile() {
    char pattern[] = "/tmp/lurvik-gzip-XXXXXX";
    int fd = ::mkstemp(pattern);
    ::unlink(pattern);
    return fd;
}

// What any gzip reader makes of the file.
std::string gunzip(int fd) {
    ::lseek(fd, 0, SEEK_SET);
    gzFile gz = gzdopen(::dup(fd), "rb");
    std::string out;
    char buffer[65536];
    for (int got; (got = gzread(gz, buffer, sizeof buffer)) > 0;)
        out.append(buffer, got);
    int error = Z_OK;
    gzerror(gz, &error);
    EXPECT_EQ(error, Z_OK);
    gzclose(gz);
    return out;
}

} // namespace

// Text with repeats reaching back across slice boundaries, as a map's link records do.
std::string linkText(size_t size) {
    std::mt19937 random(7);
    std::string content;
    while (content.size() < size)
        content += "<a href=/p" + std::to_string(random() % 5000) + ".html>Section</a>\n";
    return content;
}

TEST(SlicedGzip, SlicesReadBackAsOneStreamAtAnySizeAndTheStreamGoesOnAfterAFinish) {
    const std::string content = linkText((9u << 20) + 12345);
    for (size_t size : {size_t(0), size_t(1000), content.size()}) {
        for (int threads : {1, 3}) {
            SCOPED_TRACE(std::to_string(size) + " bytes, " + std::to_string(threads) + " threads");
            int out = scratchFile();
            ASSERT_GE(out, 0);
            SlicedGzip gzip(out, 1, threads);
            // Pieces of odd sizes, as a file's buffer hands them over.
            for (size_t at = 0; at < size; at += 70001)
                ASSERT_EQ(gzip.write(content.data() + at, std::min<size_t>(70001, size - at)), 0);
            std::vector<unsigned char> tail;
            ASSERT_EQ(gzip.finish(tail), 0);
            const off_t whole = ::lseek(out, 0, SEEK_END);
            ASSERT_EQ(::write(out, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
            EXPECT_TRUE(gunzip(out) == content.substr(0, size));
            if (size == content.size())
                EXPECT_LT(::lseek(out, 0, SEEK_END), static_cast<off_t>(size / 4)) << "still compressed";
            // More after the finish: the file so far, without the old tail, and a new one.
            ASSERT_EQ(::ftruncate(out, whole), 0);
            ASSERT_EQ(gzip.write("more", 4), 0);
            ASSERT_EQ(gzip.finish(tail), 0);
            ::lseek(out, 0, SEEK_END);
            ASSERT_EQ(::write(out, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
            EXPECT_TRUE(gunzip(out) == content.substr(0, size) + "more");
            ::close(out);
        }
    }
}

// A temporary file big enough to be compressed while it is written reads back whole, and stays
// usable after a compress, as a small one does.
TEST(SlicedGzip, ATemporaryFilePastThePackingSizeCompressesWhileWritten) {
    const std::string content = linkText((66u << 20) + 777);
    char dir[] = "/tmp/lurvik-pack-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string name = std::string(dir) + "/big.web";
    TempFrogFile temp;
    ASSERT_EQ(temp.write(content.data(), static_cast<int>(content.size())), 0);
    ASSERT_EQ(temp.compress(name), 0);
    ASSERT_EQ(temp.write(Str("and more")), 0);
    ASSERT_EQ(temp.compress(name + "2"), 0);
    for (const auto& [file, expected] :
         {std::pair{name, content}, std::pair{name + "2", content + "and more"}}) {
        InputFrogFile in;
        ASSERT_EQ(in.openCompressed(file), 0);
        Str back;
        int got = 0;
        ASSERT_EQ(in.read(back, static_cast<int>(expected.size()) + 10, &got), 0);
        EXPECT_EQ(got, static_cast<int>(expected.size()));
        EXPECT_TRUE(back.str() == expected);
        ::unlink(file.c_str());
    }
    ::rmdir(dir);
}
