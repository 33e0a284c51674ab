// The median of a set of values, as the analysis takes it wherever one
// outlier must not move a typical value: the upper middle of an even count.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace pendra::analysis {

// Reorders `values` (not empty).
template <typename T> T median(std::vector<T> &values) {
    auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace pendra::analysis
