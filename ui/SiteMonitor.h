#pragma once

#include <QString>

#include <string>

namespace lurvik {

class Application;

// A scheduled retrieval that compares: when it has ended, the site is compared with the map the
// previous such retrieval of the same address kept, the changes are kept as a web page, and the
// site's map replaces the previous one for the next time. What a daily schedule needs to watch a
// site for what breaks.
class SiteMonitor {
public:
    explicit SiteMonitor(Application& app) : m_app(app) {}

    // Where the maps and comparisons are kept.
    static QString folder();
    // The retrieval of address about to start is to be compared when it ends. Its pages are asked
    // of the server even when the cache holds them: a copy kept from an earlier visit would hide
    // exactly the changes the comparison is for.
    void watch(const std::string& address);
    // The retrieval did not start after all.
    void cancel();
    bool isWatching() const { return !m_address.empty(); }

    struct Outcome {
        QString text;   // for the user: what was compared, how many changes, where they are
        QString page;   // the comparison kept, empty when there was nothing to compare with
        int broken = 0; // pages and links that became broken
        bool failed = false;
    };
    // Compares and keeps; the watch ends.
    Outcome finish();

private:
    Application& m_app;
    std::string m_address;
    int m_verifyCache = 0; // the engine's own rule, back when the watch ends
};

} // namespace lurvik
