#include "CliRunner.h"
#include "SyntheticSite.h"
#include "sitemap/SiteMapFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

using namespace lurvik::test;

namespace {

using Resume = CliFixture;

// The lines only one of two texts has (order aside), a few of them, for a failure message.
std::string differences(const std::string& a, const std::string& b) {
    std::multiset<std::string> only;
    std::istringstream left(a), right(b);
    for (std::string line; std::getline(left, line);)
        only.insert(line);
    for (std::string line; std::getline(right, line);) {
        auto found = only.find(line);
        if (found != only.end())
            only.erase(found);
        else
            only.insert("+ " + line);
    }
    std::string out = std::to_string(only.size()) + " lines differ";
    size_t shown = 0;
    for (auto it = only.begin(); it != only.end() && shown < 10; ++it, ++shown)
        out += "\n  " + *it;
    return out;
}

// Where two texts that should be the same part, line by line, for a failure message.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::istringstream left(a), right(b);
    std::string l, r;
    for (int line = 1;; ++line) {
        const bool moreLeft = static_cast<bool>(std::getline(left, l));
        const bool moreRight = static_cast<bool>(std::getline(right, r));
        if (!moreLeft && !moreRight)
            return "the same";
        if (!moreLeft || !moreRight || l != r)
            return "line " + std::to_string(line) + ":\n  " + (moreLeft ? l : "(end)") + "\n  " +
                   (moreRight ? r : "(end)");
    }
}

} // namespace

// A crawl killed half-way, as a crash would end it, is taken up from its last checkpoint and ends
// with the same site as a crawl that was never stopped; the pages asked for twice are only those
// since the last checkpoint and the one in flight.
TEST_F(Resume, AKilledCrawlGoesOnFromItsLastCheckpointToTheSameSite) {
    SyntheticSite site(3, 20000);
    // Replies take a little time until the kill, more once the checkpoint is written, so that
    // however fast the machine the crawl outlasts its first checkpoint and is still running when
    // it is killed.
    std::atomic<int> pauseUs{100};
    server.serveGenerated([&site, &pauseUs](const std::string& path, Page& page) {
        if (const int pause = pauseUs)
            std::this_thread::sleep_for(std::chrono::microseconds(pause));
        return site.page(path, page);
    });
    ASSERT_EQ(server.start(), 0);
    const std::string map = path("site.web");
    CliProcess crawl({"crawl", server.url("/"), "--agents", "1", "--checkpoint", "1", "--save", map});
    // Killed a little after its first checkpoint has been written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!std::filesystem::exists(map) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    pauseUs = 2000;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    crawl.killNow();
    pauseUs = 0;
    const size_t atKill = server.requestTotal();
    ASSERT_TRUE(std::filesystem::exists(map)) << "no checkpoint";
    ASSERT_LT(atKill, 40000u) << "the crawl ended before it was killed";
    // The pages the checkpoint holds as finished: every other page the killed crawl asked for was
    // asked for after the checkpoint was taken, or was in flight then.
    ASSERT_EQ(runCli({"export", map, "--csv", path("checkpoint.csv")}).exitCode, 0);
    const size_t atCheckpoint = sortedLines(readFileBytes(path("checkpoint.csv"))).size() - 1;

    CliResult resumed = runCli({"crawl", "--resume", map});
    ASSERT_EQ(resumed.exitCode, 1) << resumed.err; // the site links to a missing page on purpose
    std::map<std::string, int> asked;
    for (const RecordedRequest& request : server.requests())
        ++asked[request.path];
    size_t twice = 0;
    for (const auto& [page, times] : asked) {
        EXPECT_LE(times, 2) << page;
        twice += times > 1;
    }
    EXPECT_LE(twice, atKill - atCheckpoint + 1) << "asked again: " << twice;
    EXPECT_GT(twice, 0u) << "nothing was asked for after the checkpoint";

    // One agent, as the killed crawl had: with more, which page first links to another varies.
    ASSERT_EQ(runCli({"crawl", server.url("/"), "--agents", "1", "--save", path("whole.web")}).exitCode, 1);
    EXPECT_EQ(differences(runCli({"links", map}).out, runCli({"links", path("whole.web")}).out),
              "0 lines differ");
    // The tree in the same order too: a page several pages link to shows under the same parent.
    const std::string resumedTree = runCli({"tree", map}).out;
    const std::string wholeTree = runCli({"tree", path("whole.web")}).out;
    EXPECT_TRUE(resumedTree == wholeTree) << firstDifference(resumedTree, wholeTree);
    ASSERT_EQ(runCli({"export", map, "--csv", path("resumed.csv")}).exitCode, 0);
    ASSERT_EQ(runCli({"export", path("whole.web"), "--csv", path("whole.csv")}).exitCode, 0);
    EXPECT_EQ(differences(readFileBytes(path("resumed.csv")), readFileBytes(path("whole.csv"))),
              "0 lines differ");
}

// Only a map with a crawl still to do can go on; a stopped crawl's map can.
TEST_F(Resume, OnlyAnUnfinishedCrawlGoesOn) {
    server.addPage("/", "<title>Home</title><a href=a.html>a</a>");
    server.addPage("/a.html", "<title>A</title>");
    ASSERT_EQ(server.start(), 0);
    ASSERT_EQ(runCli({"crawl", server.url("/"), "--save", path("done.web")}).exitCode, 0);
    CliResult refused = runCli({"crawl", "--resume", path("done.web")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("holds no unfinished crawl"), std::string::npos) << refused.err;
    EXPECT_EQ(runCli({"crawl", server.url("/"), "--checkpoint", "5"}).exitCode, 2)
        << "--checkpoint needs --save";

    // Ctrl-C keeps what was still to do: the slow page waits in the map.
    server.addSlow("/a.html", formatReply(Page{200, "", "text/html", "<title>A</title>", "", {}}), 1,
                   std::chrono::milliseconds(200));
    server.clearLog();
    CliProcess stopped({"crawl", server.url("/"), "--save", path("stopped.web"), "--limit", "host"});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.requestCount("/a.html") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stopped.interrupt();
    CliResult interrupted;
    ASSERT_TRUE(stopped.wait(30000, interrupted));
    EXPECT_EQ(interrupted.exitCode, 130) << interrupted.err;
    ASSERT_TRUE(std::filesystem::exists(path("stopped.web"))) << interrupted.err;
    server.addPage("/a.html", "<title>A</title>");
    CliResult resumed = runCli({"crawl", "--resume", path("stopped.web"), "--report", "-"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_NE(resumed.out.find(server.url("/a.html") + "\tdone\t200\t\t1\t"), std::string::npos)
        << resumed.out;
}

// A page that a 429 sent to wait is kept waiting in the checkpoint, and the resumed crawl waits
// out the rest of what the server asked for before it asks again.
TEST_F(Resume, AWaitAServerAskedForIsKeptAndWaitedOut) {
    Page slow;
    slow.body = "<title>Slow</title>";
    server.addThrottled("/slow.html", 1, "3", slow);
    server.addPage("/", "<title>Home</title><a href=slow.html>slow</a>");
    ASSERT_EQ(server.start(), 0);
    const std::string map = path("site.web");
    CliProcess crawl({"crawl", server.url("/"), "--checkpoint", "1", "--save", map});
    // Killed at the first checkpoint written after the 429 was answered.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (server.requestCount("/slow.html") == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto answered = std::filesystem::file_time_type::clock::now();
    std::error_code error;
    while ((std::filesystem::last_write_time(map, error) < answered || error) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    crawl.killNow();

    lurvik::SiteEngine engine;
    lurvik::SiteMapFile saved;
    saved.fileName = map;
    ASSERT_EQ(saved.open(engine), 0);
    ASSERT_EQ(saved.frontier.pages.size(), 1u);
    const int waitMs = saved.frontier.pages[0].waitMs;
    EXPECT_GT(waitMs, 0);
    EXPECT_LE(waitMs, 3000);

    const auto resumedAt = std::chrono::steady_clock::now();
    CliResult resumed = runCli({"crawl", "--resume", map});
    const auto took = std::chrono::steady_clock::now() - resumedAt;
    EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
    EXPECT_EQ(server.requestCount("/slow.html"), 2u);
    EXPECT_GE(took, std::chrono::milliseconds(waitMs) - std::chrono::milliseconds(300));
}

// A checkpoint the disk refuses is said, the crawl goes on to the end, and the last checkpoint
// written stays as it was. A limit on file size stands in for the full disk.
TEST_F(Resume, ACheckpointTheDiskRefusesLeavesThePreviousOne) {
    SyntheticSite site(5, 3000);
    // The first thirty pages come at once, the rest only after the first checkpoint, slowly enough
    // for later checkpoints to come due: the first is small enough to fit, the later ones are not.
    std::mutex mutex;
    std::condition_variable opened;
    bool released = false;
    std::atomic<int> served{0};
    server.serveGenerated([&](const std::string& path, Page& page) {
        if (++served > 30) {
            std::unique_lock lock(mutex);
            opened.wait_for(lock, std::chrono::seconds(30), [&] { return released; });
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return site.page(path, page);
    });
    ASSERT_EQ(server.start(), 0);
    const std::string map = path("site.web");
    rlimit normal{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &normal), 0);
    rlimit small = normal;
    small.rlim_cur = 200 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    CliProcess crawl({"crawl", server.url("/"), "--agents", "1", "--checkpoint", "1", "--save", map});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &normal), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!std::filesystem::exists(map) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto firstCheckpoint = readFileBytes(map);
    {
        std::lock_guard lock(mutex);
        released = true;
    }
    opened.notify_all();
    CliResult ended;
    ASSERT_TRUE(crawl.wait(120000, ended));
    ASSERT_FALSE(firstCheckpoint.empty()) << ended.err;

    EXPECT_NE(ended.err.find("File too large"), std::string::npos) << ended.err;
    EXPECT_NE(ended.err.find("the crawl goes on"), std::string::npos) << ended.err;
    EXPECT_NE(ended.err.find("Crawled 3000 pages"), std::string::npos) << ended.err;
    // Neither a later checkpoint nor the final save replaced the first checkpoint, which can
    // still be taken up.
    EXPECT_EQ(readFileBytes(map), firstCheckpoint);
    lurvik::SiteEngine engine;
    lurvik::SiteMapFile saved;
    saved.fileName = map;
    ASSERT_EQ(saved.open(engine), 0);
    EXPECT_FALSE(saved.frontier.pages.empty());
    EXPECT_LE(engine.doneNodes.len(), 31);
}
