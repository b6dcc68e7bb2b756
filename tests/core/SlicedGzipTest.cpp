#include "core/SlicedGzip.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unistd.h>
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

TEST(SlicedGzip, SlicesReadBackAsOneStreamAtAnySize) {
    // Text with repeats reaching back across slice boundaries, as a map's link records do.
    std::mt19937 random(7);
    std::string content;
    while (content.size() < (9u << 20) + 12345)
        content += "<a href=/p" + std::to_string(random() % 5000) + ".html>Section</a>\n";
    for (size_t size : {size_t(0), size_t(1000), content.size()}) {
        for (int threads : {1, 2, 3}) {
            int in = scratchFile();
            int out = scratchFile();
            ASSERT_GE(in, 0);
            ASSERT_EQ(::write(in, content.data(), size), static_cast<ssize_t>(size));
            SlicedGzipResult result = gzipInSlices(in, out, 1, threads);
            EXPECT_EQ(result.readError, 0);
            EXPECT_EQ(result.writeError, 0);
            EXPECT_TRUE(gunzip(out) == content.substr(0, size))
                << size << " bytes, " << threads << " threads";
            if (size == content.size()) {
                EXPECT_LT(::lseek(out, 0, SEEK_END), static_cast<off_t>(size / 4)) << "still compressed";
            }
            ::close(in);
            ::close(out);
        }
    }
}
