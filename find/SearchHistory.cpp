#include "SearchHistory.h"

#include "platform/RegistryKey.h"
#include "retrieval/Settings.h"

namespace lurvik {

namespace {

constexpr int kTextBytes = 256;

std::string keyPath(const std::string& name) {
    return std::string(kProgramKey) + "\\" + name;
}

} // namespace

int SearchHistory::load() {
    m_texts.clear();
    RegistryKey key;
    if (key.open(Hive::CurrentUser, keyPath(m_name)) != 0)
        return 1;
    for (int i = 0; i < kMaxTexts; ++i) {
        Str text;
        if (key.getText(m_name + std::to_string(i), text, kTextBytes) == 0 && !text.isEmpty())
            m_texts.push_back(text);
    }
    return 0;
}

int SearchHistory::save() const {
    RegistryKey key;
    if (key.create(Hive::CurrentUser, keyPath(m_name)) != 0)
        return 1;
    for (int i = 0; i < static_cast<int>(m_texts.size()); ++i)
        key.setText(m_name + std::to_string(i), m_texts[i], kTextBytes);
    return key.close();
}

void SearchHistory::add(const Str& text) {
    if (text.isEmpty())
        return;
    for (auto it = m_texts.begin(); it != m_texts.end(); ++it)
        if (it->icmp(text.view()) == 0) {
            m_texts.erase(it);
            break;
        }
    m_texts.insert(m_texts.begin(), text);
    if (static_cast<int>(m_texts.size()) > kMaxTexts)
        m_texts.resize(kMaxTexts);
}

} // namespace lurvik
