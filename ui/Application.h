#pragma once

#include "ScheduledSites.h"
#include "analysis/RatingSettings.h"
#include "retrieval/AgentPool.h"
#include "retrieval/PageRenderer.h"
#include "retrieval/ResourceChecker.h"
#include "retrieval/RetrievalScheduler.h"
#include "retrieval/Settings.h"
#include "retrieval/SiteEngine.h"

#include <QString>

namespace lurvik {

class BusyLoop;

// What lives for the whole run: the settings, the engine with every node, the agent pool, the
// scheduler's idle step and the busy loop. The main window borrows it.
class Application {
public:
    Application();
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Settings, page cache, agents and ratings, in the order the engine needs them.
    void start();
    // The teardown: settings saved, cache ended, every fetch cancelled and joined, every parsing
    // thread joined, every node destroyed. Safe to call twice.
    void shutdown();
    // Starts, restarts or stops the browser as the settings say. None, or why rendering that was
    // asked for cannot be done (the retrieval then reads pages as served).
    RenderError applyRendering();

    Settings settings;
    RatingSettings ratings;
    SiteEngine engine;
    AgentPool pool;
    // Before the scheduler, which lets go of it as it ends.
    std::unique_ptr<PageRenderer> renderer;
    RetrievalScheduler scheduler{engine, pool};
    // Retrievals due at a time of day, kept for this run only.
    ScheduledSites scheduledSites;
    // The statuses of checked links (images, downloads) that opened site maps brought.
    ResourceChecker checkedLinks{engine, pool};
    BusyLoop* busyLoop = nullptr;
    // Why the rendering the settings ask for could not start, at start-up.
    RenderError renderError = RenderError::None;

private:
    bool m_started = false;
    bool m_cacheOpen = false;
    RendererOptions m_renderOptions;
};

// True when name ends in ".web", case ignored: the command-line argument opened at start-up.
bool isSiteMapName(const QString& name);

} // namespace lurvik
