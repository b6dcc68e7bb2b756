#pragma once

#include "platform/ForkedTask.h"
#include "retrieval/SiteEngine.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace lurvik {

// Rewrites a running crawl's site map, with what it has still to do, at a fixed interval. Each
// checkpoint is written by a copy of the process (ForkedTask) from the site as it stood at that
// moment, so the crawl stops only for the copy to be made, not for the map to be written.
// Called from the thread that drives the crawl, which owns the engine's lists and nodes.
class CheckpointWriter {
public:
    // waitLeft tells how long a page has still to wait on a server's Retry-After.
    CheckpointWriter(SiteEngine& engine, std::function<int(const SiteNode*)> waitLeft)
        : m_engine(engine), m_waitLeft(std::move(waitLeft)) {}

    // Where and how often; seconds <= 0 writes none. arguments are the crawl's own options, which
    // a resumed crawl starts from.
    void configure(std::string fileName, std::vector<std::string> arguments, int seconds);
    // Call often while the crawl runs. Starts a checkpoint when one is due and none is being
    // written; Succeeded or Failed once when one has ended (errorText() then says why it failed:
    // the crawl goes on and the previous checkpoint stays).
    ForkedTask::State step();
    // Writes a checkpoint at once, whatever the interval, and waits for it, as when the program
    // is closed while the crawl runs; as finish() for the outcome.
    ForkedTask::State writeNow();
    // Waits for a checkpoint being written, so that the crawl's own save cannot be overtaken by
    // it, and reports an outcome step() has not, as step() would.
    ForkedTask::State finish();
    const std::string& errorText() const { return m_task.errorText(); }
    int writtenCount() const { return m_written; }
    // The longest the crawl stood still for one checkpoint to start.
    double longestPauseMs() const { return m_longestPauseMs; }

private:
    // 0, or the system's reason when the copy could not be made (errorText() says it).
    int start();
    ForkedTask::State counted(ForkedTask::State state);

    SiteEngine& m_engine;
    std::function<int(const SiteNode*)> m_waitLeft;
    std::string m_fileName;
    std::vector<std::string> m_arguments;
    std::chrono::seconds m_interval{0};
    std::chrono::steady_clock::time_point m_last = std::chrono::steady_clock::now();
    ForkedTask m_task;
    int m_written = 0;
    double m_longestPauseMs = 0;
};

} // namespace lurvik
