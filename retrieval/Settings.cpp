#include "Settings.h"

#include "AgentPool.h"
#include "SiteEngine.h"
#include "core/PageCache.h"
#include "platform/RegistryKey.h"
#include "platform/TlsSession.h"

#include <algorithm>

#include <cstdlib>
#include <filesystem>

namespace lurvik {

const char* const kProgramKey = "Software\\Orvanne\\Lurvik";

namespace {

const std::string kGlobalKey = std::string(kProgramKey) + "\\Global";
const std::string kWindowKey = std::string(kProgramKey) + "\\Window";
const std::string kUrlKey = std::string(kProgramKey) + "\\LastUrl";
constexpr int kHistoryLength = 5;
constexpr int kHistoryBytes = 130;

// One "Global" value: its name and where it lives in Settings. fallback is what a value missing
// from an existing key reads as; most read as empty or 0, a few keep a sensible figure.
struct NumberValue {
    const char* name;
    int Settings::*field;
    int fallback;
};
struct TextValue {
    const char* name;
    Str Settings::*field;
};

constexpr NumberValue kGlobalNumbers[] = {
    {"AutoExpand", &Settings::autoExpand, 0},
    {"DupChildren", &Settings::dupChildren, 0},
    {"AutoLaunch", &Settings::autoLaunch, 0},
    {"DoneBeep", &Settings::doneBeep, 0},
    {"PersistantCache", &Settings::persistentCache, 0},
    {"CacheSize", &Settings::cacheSize, kDefaultCacheMegabytes},
    {"SmartCache", &Settings::smartCache, 0},
    {"TreeSize", &Settings::treeSize, 0},
    {"TreeWeight", &Settings::treeWeight, 0},
    {"TreeItalic", &Settings::treeItalic, 0},
    {"ListSize", &Settings::listSize, 0},
    {"ListWeight", &Settings::listWeight, 0},
    {"ListItalic", &Settings::listItalic, 0},
    {"HTMLSize", &Settings::htmlSize, 0},
    {"HTMLWeight", &Settings::htmlWeight, 0},
    {"HTMLItalic", &Settings::htmlItalic, 0},
    {"NumDomains", &Settings::numDomains, 0},
    {"NumFGAgents", &Settings::numFGAgents, 0},
    {"NumBGAgents", &Settings::numBGAgents, 0},
    {"NumLevels", &Settings::numLevels, 3},
    {"LimitLevels", &Settings::limitLevels, 0},
    {"NumPages", &Settings::numPages, 1000},
    {"LimitPages", &Settings::limitPages, 0},
    {"UseProxy", &Settings::useProxy, 0},
    {"ProxyPort", &Settings::proxyPort, 0},
    {"UseUserPass", &Settings::useUserPass, 1},
    {"useUserAgent", &Settings::useUserAgent, 0},
    {"ClassicHttp", &Settings::classicHttp, 0},
    {"UseHttp2", &Settings::useHttp2, 1},
    {"ObeySRE", &Settings::obeySRE, 0},
    {"MaxHostConnections", &Settings::maxHostConnections, 8},
    {"HostDelay", &Settings::hostDelay, 0},
    {"MaxRetryWait", &Settings::maxRetryWait, 60},
    {"PageTimeLimit", &Settings::pageTimeLimit, 120},
    {"CheckExternal", &Settings::checkExternal, 0},
    {"CheckLinks", &Settings::checkLinks, 0},
    {"CheckpointSeconds", &Settings::checkpointSeconds, 60},
    {"RenderPages", &Settings::renderPages, 0},
    {"RenderTabs", &Settings::renderTabs, 0},
    {"RenderTimeout", &Settings::renderTimeout, 15},
};

const TextValue kGlobalTexts[] = {
    {"DefaultWebBrower", &Settings::defaultWebBrowser},
    {"CacheDir", &Settings::cacheDir},
    {"TreeFont", &Settings::treeFont},
    {"ListFont", &Settings::listFont},
    {"HTMLFont", &Settings::htmlFont},
    {"ProxyServer", &Settings::proxyServer},
    {"UserAgent", &Settings::userAgent},
    {"CaFile", &Settings::caFile},
};

constexpr NumberValue kWindowNumbers[] = {
    {"MainLeft", &Settings::mainLeft, 0},           {"MainTop", &Settings::mainTop, 0},
    {"MainRight", &Settings::mainRight, 0},         {"MainBottom", &Settings::mainBottom, 0},
    {"TreeWidth", &Settings::treeWidth, 0},         {"LinkWidth", &Settings::linkWidth, 200},
    {"TypeWidth", &Settings::typeWidth, 110},       {"URLWidth", &Settings::urlWidth, 200},
    {"StatusWidth", &Settings::statusWidth, 0},     {"PaneWidth", &Settings::paneWidth, 0},
    {"MainMaximized", &Settings::mainMaximized, 0},
};

} // namespace

Str Settings::defaultCacheDir() {
    std::string base;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        base = xdg;
    else if (home && *home)
        base = std::string(home) + "/.cache";
    else
        base = std::filesystem::temp_directory_path().string();
    return Str(base + "/Orvanne/Lurvik/LVCache/");
}

int Settings::loadSettings() {
    RegistryKey key;
    if (key.open(Hive::CurrentUser, kGlobalKey) != 0)
        return 1;
    for (const NumberValue& value : kGlobalNumbers) {
        uint32_t number = 0;
        this->*value.field =
            key.getNumber(value.name, number) == 0 ? static_cast<int>(number) : value.fallback;
    }
    for (const TextValue& value : kGlobalTexts) {
        Str text;
        this->*value.field = key.getText(value.name, text) == 0 ? text : Str();
    }
    return 0;
}

int Settings::loadRepairedSettings() {
    if (loadSettings() == 0) {
        repairSettings();
        return 0;
    }
    *this = Settings();
    // A first run has no cache directory stored; without one no page would ever be kept.
    cacheDir = defaultCacheDir();
    return 1;
}

void Settings::initSettings(SiteEngine& engine) {
    if (loadRepairedSettings() != 0) {
        std::error_code ignored;
        std::filesystem::create_directories(cacheDir.str(), ignored);
    }
    applyToCache();
    applyToEngine(engine);
}

void Settings::repairSettings() {
    // A key written by hand or by an older version may lack these; the cache, the user agent and
    // the queue must still work.
    if (cacheDir.isEmpty())
        cacheDir = defaultCacheDir();
    // Sizes from the days of 5 MB caches leave most pages' source unshown.
    cacheSize = std::clamp(cacheSize, kMinCacheMegabytes, kMaxCacheMegabytes);
    if (userAgent.isEmpty()) {
        useUserAgent = 1;
        userAgent = "Lurvik/1.0";
    }
    // Without background agents nothing in the queue is ever fetched.
    if (numBGAgents < 1)
        numBGAgents = 4;
}

int Settings::saveSettings() const {
    RegistryKey key;
    if (key.create(Hive::CurrentUser, kGlobalKey) != 0)
        return 1;
    for (const NumberValue& value : kGlobalNumbers)
        key.setNumber(value.name, static_cast<uint32_t>(this->*value.field));
    for (const TextValue& value : kGlobalTexts)
        key.setText(value.name, this->*value.field);
    return key.close();
}

int Settings::loadWindowSettings() {
    RegistryKey key;
    if (key.open(Hive::CurrentUser, kWindowKey) != 0)
        return 1;
    for (const NumberValue& value : kWindowNumbers) {
        uint32_t number = 0;
        if (key.getNumber(value.name, number) == 0)
            this->*value.field = static_cast<int>(number);
    }
    return 0;
}

int Settings::saveWindowSettings() const {
    RegistryKey key;
    if (key.create(Hive::CurrentUser, kWindowKey) != 0)
        return 1;
    for (const NumberValue& value : kWindowNumbers)
        key.setNumber(value.name, static_cast<uint32_t>(this->*value.field));
    return key.close();
}

int Settings::loadUrlHistory(std::vector<Str>& list) const {
    list.clear();
    RegistryKey key;
    if (key.open(Hive::CurrentUser, kUrlKey) != 0)
        return 1;
    for (int i = 0; i < kHistoryLength; ++i) {
        Str text;
        if (key.getText("LastUrl" + std::to_string(i), text) == 0 && !text.isEmpty())
            list.push_back(text);
    }
    return 0;
}

int Settings::saveUrlHistory(const std::vector<Str>& list) const {
    RegistryKey key;
    if (key.create(Hive::CurrentUser, kUrlKey) != 0)
        return 1;
    for (int i = 0; i < kHistoryLength && i < static_cast<int>(list.size()); ++i)
        key.setText("LastUrl" + std::to_string(i), list[i], kHistoryBytes);
    return key.close();
}

void Settings::applyToEngine(SiteEngine& engine) const {
    engine.limitMode = numDomains;
    engine.maxLevels = limitLevels ? numLevels : 0;
    engine.maxPages = limitPages ? numPages : 0;
    engine.verifyCache = smartCache;
}

void Settings::applyToPool(AgentPool& pool) const {
    pool.setAgentCounts(numFGAgents, numBGAgents);
    pool.setUseCredentials(useUserPass);
    pool.setUserAgent(useUserAgent, userAgent);
    pool.classicHttp = classicHttp;
    pool.useHttp2 = useHttp2;
    pool.configureProxy(useProxy, proxyServer, proxyPort);
    ConnectionPool::Limits limits;
    limits.perHost = std::max(1, maxHostConnections);
    limits.delayMs = std::max(0, hostDelay);
    pool.connections.setLimits(limits);
    pool.maxRetryWaitMs = std::max(0, maxRetryWait) * 1000;
    pool.pageTimeLimitMs = pageTimeLimit > 0 ? pageTimeLimit * 1000 : 0;
    setTlsExtraCaFile(caFile.str());
}

void Settings::applyToCache() const {
    CacheConfigure(1, cacheDir, static_cast<int64_t>(cacheSize) << 20, persistentCache);
}

} // namespace lurvik
