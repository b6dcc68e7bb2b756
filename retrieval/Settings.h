#pragma once

#include "core/Str.h"
#include "platform/RegistryStore.h"

#include <vector>

namespace lurvik {

class AgentPool;
class SiteEngine;

// The program's persistent preferences, kept under "Software\Orvanne\Lurvik" in the settings
// store, each field under its value name. Shared by the desktop program and lurvik-cli, which is
// why it lives outside the user interface: a user's options apply to both.
// The page cache's size in megabytes: the default and the range the options offer.
constexpr int kDefaultCacheMegabytes = 256;
constexpr int kMinCacheMegabytes = 16;
constexpr int kMaxCacheMegabytes = 4096;

struct Settings {
    // "Global"
    int autoExpand = 0;                     // "AutoExpand"
    int dupChildren = 0;                    // "DupChildren"
    Str defaultWebBrowser;                  // "DefaultWebBrower"
    int autoLaunch = 1;                     // "AutoLaunch"
    int doneBeep = 1;                       // "DoneBeep"
    int persistentCache = 1;                // "PersistantCache"
    int cacheSize = kDefaultCacheMegabytes; // "CacheSize", megabytes
    int smartCache = 0;                     // "SmartCache"
    Str cacheDir;                           // "CacheDir"
    Str treeFont;                           // "TreeFont", with "TreeSize", "TreeWeight", "TreeItalic"
    int treeSize = 0, treeWeight = 0, treeItalic = 0;
    Str listFont; // "ListFont", ...
    int listSize = 0, listWeight = 0, listItalic = 0;
    Str htmlFont; // "HTMLFont", ...
    int htmlSize = 0, htmlWeight = 0, htmlItalic = 0;
    int numDomains = 0;           // "NumDomains": the limit mode
    int numFGAgents = 1;          // "NumFGAgents"
    int numBGAgents = 4;          // "NumBGAgents"
    int numLevels = 3;            // "NumLevels"
    int limitLevels = 0;          // "LimitLevels"
    int numPages = 1000;          // "NumPages"
    int limitPages = 0;           // "LimitPages"
    int useProxy = 0;             // "UseProxy"
    int proxyPort = 80;           // "ProxyPort"
    Str proxyServer;              // "ProxyServer"
    int useUserPass = 1;          // "UseUserPass"
    int useUserAgent = 1;         // "useUserAgent"
    Str userAgent = "Lurvik/1.0"; // "UserAgent"
    int classicHttp = 0;          // "ClassicHttp": the original request form, byte for byte
    int useHttp2 = 1;             // "UseHttp2": offer HTTP/2 to https: servers (modern form only)
    int obeySRE = 0;              // "ObeySRE": obey robots.txt ("Obey SRE standards")
    int maxHostConnections = 8;   // "MaxHostConnections": connections open at once to one host
    int hostDelay = 0;            // "HostDelay": milliseconds between requests to one host
    int maxRetryWait = 60;        // "MaxRetryWait": seconds a page may wait on 429 and 503 replies
    int pageTimeLimit = 120;      // "PageTimeLimit": seconds one page's reply may take in all
    int checkExternal = 0;        // "CheckExternal": request each link outside the limits once
    int checkLinks = 0;           // "CheckLinks": check images, downloads and other non-page links
    Str caFile;                   // "CaFile": certificates trusted besides the system's (PEM)
    int checkpointSeconds = 60;   // "CheckpointSeconds": an unfinished retrieval saved this often; 0: never
    int renderPages = 0;          // "RenderPages": read pages after a browser ran their scripts
    int renderTabs = 0;           // "RenderTabs": the browser's tabs; 0 = one per core
    int renderTimeout = 15;       // "RenderTimeout": seconds a page may take to settle

    // "Window"
    int mainLeft = 0, mainTop = 0, mainRight = 0, mainBottom = 0; // "MainLeft" ... "MainBottom"
    int treeWidth = 0;                                            // "TreeWidth"
    int linkWidth = 200;                                          // "LinkWidth"
    int typeWidth = 110;                                          // "TypeWidth"
    int urlWidth = 200;                                           // "URLWidth"
    int statusWidth = 0;                                          // "StatusWidth"
    // The divider and window width it was measured in: a window restored at another size keeps
    // the divider's proportion.
    int paneWidth = 0;     // "PaneWidth"
    int mainMaximized = 0; // "MainMaximized"

    // 1 when the program key or "Global" cannot be opened: the first run.
    int loadSettings();
    // What every program and command starts from: the saved settings with their repairs, or on a
    // first run the defaults with the default cache directory. 1 on a first run.
    int loadRepairedSettings();
    // Loads, applies first-run defaults or fix-ups, and configures the page cache and the engine.
    void initSettings(SiteEngine& engine);
    // The fix-ups of a loaded "Global" key that a key written by hand or by an older version needs:
    // the desktop program and lurvik-cli both run them after loading.
    void repairSettings();
    int saveSettings() const;
    int loadWindowSettings();
    int saveWindowSettings() const;
    // The Open Location history, at most five addresses.
    int loadUrlHistory(std::vector<Str>& list) const;
    int saveUrlHistory(const std::vector<Str>& list) const;

    // The engine's limits and cache behaviour from these settings.
    void applyToEngine(SiteEngine& engine) const;
    // Agent counts, credentials, user agent, wire mode and proxy.
    void applyToPool(AgentPool& pool) const;
    // The page cache's directory, size and persistence.
    void applyToCache() const;

    // The cache directory of a first run: under the user's cache directory, ending in "LVCache/".
    static Str defaultCacheDir();
};

extern const char* const kProgramKey; // "Software\Orvanne\Lurvik"

} // namespace lurvik
