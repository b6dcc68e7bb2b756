#include "Application.h"

#include "FileTypeIcons.h"

#include "BusyLoop.h"
#include "analysis/RatingEvaluation.h"
#include "core/PageCache.h"

namespace lurvik {

Application::Application() : busyLoop(new BusyLoop(scheduler)) {}

Application::~Application() {
    shutdown();
    delete busyLoop;
}

void Application::start() {
    if (m_started)
        return;
    m_started = true;
    settings.initSettings(engine);
    (void)settings.loadWindowSettings();
    m_cacheOpen = CacheBegin() == 0;
    settings.applyToPool(pool);
    (void)ratings.load();
    engine.onRatePage = makeRatePage(ratings);
    engine.typeTable.onRegisterFileIcon = [](const Str&, const Str& iconFile, int) {
        return FileTypeIcons::instance().registerIcon(iconFile.str());
    };
}

void Application::shutdown() {
    if (!m_started)
        return;
    m_started = false;
    busyLoop->halt();
    (void)settings.saveWindowSettings();
    if (m_cacheOpen)
        CacheEnd();
    m_cacheOpen = false;
    pool.halted = 1;
    engine.halted = 1;
    pool.stopAllAgents();
    engine.clearSite();
    engine.onNodeChanged = nullptr;
    pool.onNeedPassword = nullptr;
}

bool isSiteMapName(const QString& name) {
    return name.endsWith(QLatin1String(".web"), Qt::CaseInsensitive);
}

} // namespace lurvik
