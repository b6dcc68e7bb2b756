#pragma once

#include "core/Str.h"

#include <string>
#include <vector>

namespace lurvik {

// The texts last searched for, most recent first, as a search box offers them. Kept in the
// current user's "Software\Orvanne\Lurvik\<name>" key as text values "<name>0" to "<name>7",
// each 256 bytes: the Find window's is "FindText", the Find Wizard's "FindWizardText".
class SearchHistory {
public:
    static constexpr int kMaxTexts = 8;

    explicit SearchHistory(std::string name) : m_name(std::move(name)) {}

    // Empty when the key is missing; 0 when it was read.
    int load();
    int save() const;
    // Moves text to the top: an entry equal to it but for case goes first, and with the list full
    // the oldest falls off. An empty text is not kept.
    void add(const Str& text);

    const std::vector<Str>& texts() const { return m_texts; }

private:
    std::string m_name;
    std::vector<Str> m_texts;
};

} // namespace lurvik
