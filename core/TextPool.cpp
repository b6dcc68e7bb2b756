#include "TextPool.h"

namespace lurvik {

void TextPool::share(SharedText& text) {
    if (text.isEmpty())
        return;
    auto found = m_texts.find(text.view());
    if (found == m_texts.end())
        m_texts.insert(text);
    else if (!found->sharesBlock(text))
        text = *found;
}

} // namespace lurvik
