#include "Srcset.h"

#include "MarkupText.h"

namespace lurvik {

void srcsetAddresses(std::string_view srcset, std::vector<std::string_view>& out) {
    size_t i = 0;
    const size_t n = srcset.size();
    while (i < n) {
        while (i < n && (isMarkupSpace(srcset[i]) || srcset[i] == ','))
            ++i;
        if (i >= n)
            break;
        const size_t start = i;
        while (i < n && !isMarkupSpace(srcset[i]))
            ++i;
        std::string_view address = srcset.substr(start, i - start);
        if (address.back() == ',') {
            while (!address.empty() && address.back() == ',')
                address.remove_suffix(1);
        } else {
            int depth = 0;
            for (; i < n; ++i) {
                const char c = srcset[i];
                if (c == '(')
                    depth = 1;
                else if (c == ')')
                    depth = 0;
                else if (c == ',' && depth == 0)
                    break;
            }
        }
        if (!address.empty())
            out.push_back(address);
    }
}

} // namespace lurvik
