#pragma once

#include "core/MemBlock.h"
#include "core/TextIndex.h"
#include "core/URL.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lurvik {

// The addresses of a site map being read, each parsed once and then shared. A map names every
// page again in the link record of each page that links to it: a million-page map holds tens of
// millions of addresses but only a few million distinct ones, and parsing and storing each copy
// was most of the time and memory a load took. Lives for one load.
class MapAddresses {
public:
    // Reads an address stored relative to base (URL::ConvertToMemBlock) into out: the block of an
    // equal address read before when there is one, else a new parse. 0 on success; 1 when the
    // block runs out or the text does not parse, as URL::ConvertFromMemBlock.
    [[nodiscard]] int read(MemBlock& block, const URL& base, URL& out);
    // Reads the addresses of a page's link records, stored relative to base, into out (one URL
    // for each text): as read, but with the look-ups of the whole batch overlapping. 0, or 1 when
    // a text does not parse.
    // With asBefore, an address equal to the one at its place in the batch before is left empty
    // in out and marked in asBefore (1, else 0): for a reader on another thread that keeps the
    // batch before's addresses itself, since a copy made here and dropped there would make the
    // address's count go back and forth between the cores, tens of millions of times.
    [[nodiscard]] int readAll(const std::vector<std::string_view>& stored, const URL& base,
                              std::vector<URL>& out, std::vector<uint8_t>* asBefore = nullptr);
    // The same for an address stored whole.
    [[nodiscard]] int parse(std::string_view text, URL& out);
    // Lets every address go, as a new set would start, but keeps the room they took.
    void forget();

private:
    int resolve(std::string_view stored, const URL& base, URL& out);
    // The address stored, with the key keyOf gives and its hash: the known one, else a parse that
    // becomes known.
    int lookUp(std::string_view stored, std::string_view key, uint64_t hash, const URL& base, URL& out);
    // The text an address is known by: stored itself, or base's scheme and authority before a
    // bare path (the view is then valid until the next call); empty when it must be parsed.
    std::string_view keyOf(std::string_view stored, const URL& base, std::string& room) const;

    struct TextOf {
        std::string_view operator()(const URL& url) const { return url.view(); }
    };
    TextIndex<URL, TextOf> m_known;
    std::string m_key;
    std::vector<std::string> m_batchKeys;
    std::vector<uint64_t> m_batchHashes;
    std::vector<std::string_view> m_batchKeyViews;
    // The keys of the last batch and their addresses, by place.
    std::vector<std::string> m_lastKeys;
    std::vector<URL> m_lastURLs;
};

} // namespace lurvik
