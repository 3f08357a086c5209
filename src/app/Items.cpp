#include "app/Items.h"

#include <algorithm>

namespace paddock {

TItemSet SelectedItems{};
TItemSet LoadedItems{};

namespace {
void setFlag(int item)
{
    if (item >= 0 && item < ItemCount)
        SelectedItems[static_cast<std::size_t>(item)] = 1;
}
} // namespace

void SelectItems(std::span<const std::uint16_t> codes)
{
    ClearItems(SelectedItems);
    for (std::size_t i = 0; i < codes.size();) {
        if (codes[i] != ItemRange) {
            setFlag(codes[i]);
            ++i;
            continue;
        }
        // A range code without both of its bounds names nothing.
        if (i + 2 >= codes.size())
            break;
        for (int item = codes[i + 1]; item <= codes[i + 2]; ++item)
            setFlag(item);
        i += 3;
    }
}

void SelectItems(std::initializer_list<std::uint16_t> codes)
{
    SelectItems(std::span<const std::uint16_t>(codes.begin(), codes.size()));
}

bool AnyItemSelected(const TItemSet& set, int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, ItemCount - 1);
    for (int i = first; i <= last; ++i)
        if (set[static_cast<std::size_t>(i)])
            return true;
    return false;
}

void ClearItems(TItemSet& set)
{
    set.fill(0);
}

} // namespace paddock
