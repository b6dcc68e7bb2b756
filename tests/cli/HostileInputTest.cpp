#include "CliRunner.h"
#include "core/InputFrogFile.h"
#include "retrieval/SiteEngine.h"
#include "sitemap/SiteMapFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace lurvik::test;
namespace fs = std::filesystem;

namespace {

// Reads a FIFO to its end on a thread of its own, as a shell's `cat` would.
class FifoReader {
public:
    explicit FifoReader(const std::string& path) : m_path(path) {
        if (mkfifo(path.c_str(), 0600) == 0)
            m_thread = std::thread([this] { m_bytes = readFileBytes(m_path); });
    }
    ~FifoReader() {
        if (m_thread.joinable()) {
            // A writer that never came must not leave the thread blocked in open.
            int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            m_thread.join();
        }
    }
    std::string bytes() {
        if (m_thread.joinable())
            m_thread.join();
        return m_bytes;
    }

private:
    std::string m_path;
    std::string m_bytes;
    std::thread m_thread;
};

int shellStatus(const std::string& command) {
    int status = std::system(("bash -c '" + command + "'").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class HostileInput : public CliFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(CliFixture::SetUp());
        server.addPage("/", "<title>Home</title><a href=a.html>A</a>");
        server.addPage("/a.html", "<title>A page</title><a href=/>home</a>");
    }
    std::string savedMap() {
        std::string map = path("site.web");
        CliResult crawl = runCli({"crawl", server.url("/"), "--save", map});
        EXPECT_EQ(crawl.exitCode, 0) << crawl.err;
        return map;
    }
};

} // namespace

TEST_F(HostileInput, OutputsToFifosStdoutAndSymlinks) {
    ASSERT_EQ(server.start(), 0);
    {
        FifoReader report(path("report.fifo")), links(path("links.fifo")), map(path("map.fifo"));
        CliResult crawl = runCli({"crawl", server.url("/"), "--report", path("report.fifo"), "--links-report",
                                  path("links.fifo"), "--save", path("map.fifo")});
        EXPECT_EQ(crawl.exitCode, 0) << crawl.err;
        EXPECT_EQ(report.bytes().substr(0, 10), "url\tstate\t");
        EXPECT_NE(links.bytes().find(server.url("/a.html")), std::string::npos);
        EXPECT_GT(map.bytes().size(), 20u);
        for (const char* name : {"report.fifo", "links.fifo", "map.fifo"})
            EXPECT_TRUE(fs::is_fifo(path(name))) << name;
    }
    std::string map = savedMap();
    {
        FifoReader csv(path("csv.fifo")), criteria(path("find.ifc"));
        CliResult exported = runCli({"export", map, "--csv", path("csv.fifo"), "--sitemap-xml", "-"});
        EXPECT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_NE(csv.bytes().find("A page"), std::string::npos);
        EXPECT_NE(exported.out.find("<loc>" + server.url("/a.html") + "</loc>"), std::string::npos);
        CliResult find = runCli({"find", map, "--text", "page", "--save-criteria", path("find.ifc")});
        EXPECT_EQ(find.exitCode, 0) << find.err;
        EXPECT_GT(criteria.bytes().size(), 20u);
        EXPECT_TRUE(fs::is_fifo(path("find.ifc")));
    }

    CliResult toStdout = runCli({"crawl", server.url("/"), "--report", "-"});
    EXPECT_EQ(toStdout.out.substr(0, 10), "url\tstate\t");

    fs::create_directory(path("real"));
    fs::create_symlink("real/report.tsv", path("report-link"));
    CliResult viaLink = runCli({"crawl", server.url("/"), "--report", path("report-link")});
    EXPECT_EQ(viaLink.exitCode, 0) << viaLink.err;
    EXPECT_TRUE(fs::is_symlink(path("report-link")));
    EXPECT_EQ(fs::read_symlink(path("report-link")), "real/report.tsv");
    EXPECT_NE(readFileBytes(path("real/report.tsv")).find("A page"), std::string::npos);
    // No output, whatever it was written to, leaves a temporary file beside it.
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(HostileInput, TitlesCannotSteerTheTerminalAndAFullStdoutFails) {
    server.addPage("/", "<title>\x1b[2J\x1b[31mRed\r\n  Forged  <http://x/></title><a href=a.html>A\x07</a>");
    ASSERT_EQ(server.start(), 0);
    std::string map = savedMap();
    CliResult tree = runCli({"tree", map});
    EXPECT_EQ(tree.exitCode, 0);
    EXPECT_EQ(tree.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(tree.out.find('\r'), std::string::npos);
    // Home, A page, and Home again under A: three lines, however many line ends the title held.
    EXPECT_EQ(std::count(tree.out.begin(), tree.out.end(), '\n'), 3) << tree.out;
    EXPECT_NE(tree.out.find("\\x1B[2J\\x1B[31mRed\\r\\n  Forged"), std::string::npos) << tree.out;
    CliResult find = runCli({"find", map, "--type", "links", "--text", "A"});
    EXPECT_EQ(find.out.find('\x07'), std::string::npos);
    EXPECT_NE(find.out.find("A\\x07"), std::string::npos) << find.out;

    for (const std::string& command : {"tree " + map, "links " + map, "export " + map + " --csv -"})
        EXPECT_EQ(shellStatus(std::string(LURVIK_CLI) + " " + command + " > /dev/full"), 1) << command;
}

// The commands that go through a map page by page find a damaged one before they print: nothing
// on stdout, the reason on stderr, the exit codes a load gave.
TEST_F(HostileInput, ADamagedMapPrintsNothingButWhy) {
    ASSERT_EQ(server.start(), 0);
    const std::string whole = readFileBytes(savedMap());
    for (size_t cut : {whole.size() / 2, whole.size() - 1}) {
        std::ofstream(path("cut.web"), std::ios::binary) << whole.substr(0, cut);
        for (const auto& [command, exitCode] : std::vector<std::pair<std::vector<std::string>, int>>{
                 {{"tree"}, 1}, {{"links"}, 1}, {{"find", "--type", "links"}, 2}, {{"find"}, 2}}) {
            std::vector<std::string> arguments = command;
            arguments.push_back(path("cut.web"));
            CliResult result = runCli(arguments);
            EXPECT_EQ(result.exitCode, exitCode) << command[0] << " cut at " << cut;
            EXPECT_EQ(result.out, "") << command[0] << " cut at " << cut;
            EXPECT_NE(result.err.find("cannot open " + path("cut.web") + ": "), std::string::npos)
                << result.err;
        }
    }
}

// Error messages quote what a server said, and a CSV report on a terminal holds what pages said:
// neither reaches the terminal raw (a lone 0x9B is CSI to a terminal in an 8-bit mode), while a
// CSV file keeps the bytes.
TEST_F(HostileInput, ServerTextIsEscapedOnTheTerminalButKeptInFiles) {
    server.addRaw("/bad.html", "HTTP/1.1 500 Broken\x9b"
                               "2J\r\nContent-Length: 0\r\n\r\n");
    ASSERT_EQ(server.start(), 0);
    CliResult failed = runCli({"crawl", server.url("/bad.html")});
    EXPECT_EQ(failed.exitCode, 2);
    EXPECT_EQ(failed.err.find('\x9b'), std::string::npos) << failed.err;
    EXPECT_NE(failed.err.find("Broken\\x9B2J"), std::string::npos) << failed.err;
    server.addRaw("/header.html", "HTTP/1.1 200 OK\r\nX-Evil: \x1b[2J\r\nContent-Length: 2\r\n\r\nok");
    CliResult fetched = runCli({"fetch", server.url("/header.html")});
    EXPECT_EQ(fetched.exitCode, 0) << fetched.err;
    EXPECT_EQ(fetched.out.find('\x1b'), std::string::npos) << fetched.out;
    EXPECT_NE(fetched.out.find("\nX-Evil: \\x1B[2J\n"), std::string::npos) << fetched.out;

    server.addPage("/red.html", "<title>\x1b[31mRed</title>");
    CliResult toFile =
        runCli({"crawl", server.url("/red.html"), "--report", path("pages.csv"), "--format", "csv"});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_NE(readFileBytes(path("pages.csv")).find("\x1b[31mRed"), std::string::npos);
    const std::string shown =
        python(R"(
import os, pty, sys
pid, fd = pty.fork()
if pid == 0:
    os.dup2(os.open(os.devnull, os.O_WRONLY), 2)
    os.execv(sys.argv[1], sys.argv[1:])
out = b''
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    out += chunk
os.waitpid(pid, 0)
print('raw' if b'\x1b[' in out else 'escaped' if b'\\x1B[' in out else out)
)",
               std::string(LURVIK_CLI) + " crawl " + server.url("/red.html") + " --report - --format csv");
    EXPECT_EQ(shown, "escaped\n");
}

TEST_F(HostileInput, PathologicalPagesCrawlInBoundedTime) {
    std::string comments;
    for (int i = 0; i < 100000; ++i)
        comments += "<b><!--";
    // The many links are found only through the nested page, so its own link is always known
    // before they fill the page limit.
    std::string nested = "<a href=deep.html>";
    for (int i = 0; i < 300000; ++i)
        nested += "<b>";
    nested += "deep</a><a href=many.html>3</a>";
    std::string many = "<title>Many</title>";
    for (int i = 0; i < 200000; ++i)
        many += "<a href=p" + std::to_string(i) + ".html>x</a>";
    server.addPage("/comments.html", comments);
    server.addPage("/nested.html", nested);
    server.addPage("/many.html", many);
    server.addPage("/line.html", "<title>Line</title><p>" + std::string(50 << 20, 'a'));
    server.addPage("/", "<a href=comments.html>1</a><a href=nested.html>2</a><a href=line.html>4</a>");
    ASSERT_EQ(server.start(), 0);

    auto started = std::chrono::steady_clock::now();
    CliResult crawl = runCli({"crawl", server.url("/"), "--pages", "2000", "--report", path("pages.tsv")});
    auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    EXPECT_LT(seconds.count(), 30 * kTimeScale);
    EXPECT_EQ(crawl.exitCode, 1) << "the many links lead to missing pages: " << crawl.err;
    std::string report = readFileBytes(path("pages.tsv"));
    size_t row = report.find(server.url("/many.html") + "\t");
    ASSERT_NE(row, std::string::npos);
    std::string manyRow = report.substr(row, report.find('\n', row) - row);
    EXPECT_NE(manyRow.find("\tdone\t200\t"), std::string::npos) << manyRow;
    EXPECT_NE(manyRow.find("links cut"), std::string::npos) << manyRow;
    EXPECT_NE(report.find(server.url("/deep.html")), std::string::npos);
}

TEST_F(HostileInput, InterruptBeforeTheStartPageArrives) {
    server.addStalled("/");
    ASSERT_EQ(server.start(), 0);
    CliProcess crawl({"crawl", server.url("/"), "--save", path("early.web"), "--report", path("early.tsv")});
    for (int i = 0; i < 400 && server.requestCount("/") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    crawl.interrupt();
    CliResult result;
    ASSERT_TRUE(crawl.wait(1000 * kTimeScale, result)) << "still running a second after Ctrl-C";
    EXPECT_EQ(result.exitCode, 130) << result.err;
    EXPECT_NE(result.err.find("Stopped after 0 pages"), std::string::npos) << result.err;
    EXPECT_NE(readFileBytes(path("early.tsv")).find("\twaiting\t"), std::string::npos);
}

// 100,000 pages also need the wide map layout: ids past 65,535 must survive the round trip.
TEST_F(HostileInput, TreeOfAChainDeeperThanAnyStack) {
    constexpr int kDepth = 100000;
    ASSERT_EQ(server.start(), 0);
    {
        lurvik::SiteEngine engine;
        lurvik::SiteNode* previous = nullptr;
        for (int i = 0; i < kDepth; ++i) {
            auto node = std::make_unique<lurvik::SiteNode>(
                lurvik::URL("http://archive.example/page" + std::to_string(i) + ".html"));
            node->title = "Page " + std::to_string(i);
            node->state = lurvik::NODE_DONE;
            lurvik::SiteNode* current = engine.adoptDoneNode(std::move(node));
            if (previous) {
                previous->children.add(current);
                current->parents.add(previous);
            }
            previous = current;
        }
        lurvik::SiteMapFile map;
        map.fileName = path("chain.web");
        ASSERT_EQ(map.save(engine, nullptr, false), 0) << map.errorText.text();
    }
    auto magicOf = [](const std::string& file) {
        lurvik::InputFrogFile in;
        char magic[12] = {};
        return in.openCompressed(file) == 0 && in.readExact(magic, sizeof magic) == 0 ? std::string(magic)
                                                                                      : "";
    };
    EXPECT_EQ(magicOf(path("chain.web")), "LURVKMAP2.0");
    EXPECT_EQ(magicOf(savedMap()), "LURVKMAP1.0") << "a map that fits keeps the first layout";
    CliResult tree = runCli({"tree", path("chain.web")});
    EXPECT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_EQ(std::count(tree.out.begin(), tree.out.end(), '\n'), kDepth);
    EXPECT_NE(tree.out.find("(99999) Page 99999  <http://archive.example/page99999.html>"),
              std::string::npos);
    CliResult find =
        runCli({"find", path("chain.web"), "--type", "pages", "--parents", "1", "--children", "0"});
    EXPECT_EQ(find.out, "Page 99999  [Html Page]  http://archive.example/page99999.html\n") << find.err;
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(HostileInput, RunningOutOfMemoryKeepsTheMapAndTheReports) {
    // Every page links to 100,000 pages of its own: nodes pile up far faster than pages arrive.
    std::string hub = "<title>Hub</title>";
    for (int page = 0; page < 20; ++page) {
        std::string links = "<title>Links</title>";
        for (int i = 0; i < 100000; ++i)
            links += "<a href=/x" + std::to_string(page) + "/" + std::to_string(i) + ".html>x</a>";
        server.addPage("/links" + std::to_string(page) + ".html", links);
        hub += "<a href=links" + std::to_string(page) + ".html>l</a>";
    }
    server.addPage("/", hub);
    ASSERT_EQ(server.start(), 0);
    std::string command = "ulimit -v 450000; exec " + std::string(LURVIK_CLI) + " crawl " + server.url("/") +
                          " --save " + path("oom.web") + " --report " + path("oom.tsv") + " 2> " +
                          path("err.txt");
    EXPECT_EQ(shellStatus(command), 1) << readFileBytes(path("err.txt"));
    EXPECT_NE(readFileBytes(path("err.txt")).find("out of memory"), std::string::npos)
        << readFileBytes(path("err.txt"));
    EXPECT_NE(readFileBytes(path("oom.tsv")).find("\tHub\t"), std::string::npos);
    CliResult tree = runCli({"tree", path("oom.web")});
    EXPECT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_EQ(tree.out.substr(0, 5), "Hub  ");
}

// A map bigger than the memory the command may use is refused with a message, not an abort, while
// its pages are being read and their links built on the second thread.
TEST_F(HostileInput, AMapBiggerThanMemoryIsRefusedWithAMessage) {
    {
        lurvik::SiteEngine engine;
        for (int i = 0; i < 30000; ++i) {
            auto node = std::make_unique<lurvik::SiteNode>(
                lurvik::URL("http://big.example/page" + std::to_string(i) + ".html"));
            for (int link = 0; link < 30; ++link)
                node->links.add(lurvik::LINK_HYPERLINK,
                                lurvik::URL("http://big.example/p" + std::to_string(i * 30 + link) + ".html"),
                                "a link text long enough to need its own block");
            node->state = lurvik::NODE_DONE;
            engine.adoptDoneNode(std::move(node));
        }
        lurvik::SiteMapFile map;
        map.fileName = path("big.web");
        ASSERT_EQ(map.save(engine, nullptr, false), 0) << map.errorText.text();
    }
    // diff holds both maps whole; tree holds no link, and prints the map in the same room. The
    // room is of data, not of addresses: each thread's allocator reserves addresses it never uses.
    auto run = [&](const std::string& arguments) {
        return shellStatus("ulimit -d 120000; exec " + std::string(LURVIK_CLI) + " " + arguments +
                           " > /dev/null 2> " + path("err.txt"));
    };
    EXPECT_EQ(run("diff " + path("big.web") + " " + path("big.web")), 1) << readFileBytes(path("err.txt"));
    EXPECT_NE(readFileBytes(path("err.txt")).find("out of memory"), std::string::npos)
        << readFileBytes(path("err.txt"));
    EXPECT_EQ(run("tree " + path("big.web")), 0) << readFileBytes(path("err.txt"));
}
#endif
