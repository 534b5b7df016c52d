#include "foundation/accessible_text.h"

#include <algorithm>

namespace tellumic {

void AccessibleShownText::selection(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

QString AccessibleShownText::text(int startOffset, int endOffset) const
{
    const QString all = shownText();
    const auto size = static_cast<int>(all.size());
    // -1 as the end means "to the end", as AT-SPI clients ask for the whole text.
    const int end = endOffset < 0 ? size : std::min(endOffset, size);
    const int start = std::clamp(startOffset, 0, end);
    return all.mid(start, end - start);
}

// One run without attributes: the whole text.
QString AccessibleShownText::attributes(int, int *startOffset, int *endOffset) const
{
    *startOffset = 0;
    *endOffset = characterCount();
    return {};
}

}  // namespace tellumic
