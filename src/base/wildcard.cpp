#include "base/wildcard.h"

#include "base/text.h"

namespace norvane {

namespace {

bool SameCharAscii(char a, char b) {
    return SameTextAscii(std::string_view(&a, 1), std::string_view(&b, 1));
}

// Iterative glob with single-star backtracking: linear in practice, no recursion depth.
bool Glob(std::string_view name, std::string_view mask) {
    std::size_t n = 0, m = 0;
    std::size_t starMask = std::string_view::npos, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() &&
            (mask[m] == '?' || (mask[m] != '*' && SameCharAscii(mask[m], name[n])))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

} // namespace

bool MatchesMask(std::string_view name, std::string_view mask) {
    // A name without a full stop has an empty extension, which ".*" matches on Windows.
    if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" &&
        name.find('.') == std::string_view::npos)
        return Glob(name, mask.substr(0, mask.size() - 2));
    return Glob(name, mask);
}

} // namespace norvane
