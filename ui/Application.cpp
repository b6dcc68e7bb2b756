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
    renderError = applyRendering();
    engine.typeTable.onRegisterFileIcon = [](const Str&, const Str& iconFile, int) {
        return FileTypeIcons::instance().registerIcon(iconFile.str());
    };
}

void Application::shutdown() {
    if (!m_started)
        return;
    m_started = false;
    busyLoop->halt();
    scheduler.setRenderer(nullptr);
    renderer.reset();
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

RenderError Application::applyRendering() {
    const bool wanted = settings.renderPages == 1 && settings.classicHttp == 0;
    const RendererOptions options = rendererOptions(settings, pool);
    if (renderer && wanted && options == m_renderOptions)
        return RenderError::None;
    if (renderer) {
        scheduler.setRenderer(nullptr);
        renderer->giveBack();
        renderer.reset();
    }
    if (!wanted)
        return RenderError::None;
    auto started = std::make_unique<PageRenderer>(engine, pool, options);
    if (RenderError error = started->start(); error != RenderError::None)
        return error;
    renderer = std::move(started);
    m_renderOptions = options;
    scheduler.setRenderer(renderer.get());
    return RenderError::None;
}

bool isSiteMapName(const QString& name) {
    return name.endsWith(QLatin1String(".web"), Qt::CaseInsensitive);
}

} // namespace lurvik
