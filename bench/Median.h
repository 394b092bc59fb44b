#pragma once
// The middle value of a benchmark's rounds: one slow round on a shared machine does not move it.

#include <algorithm>
#include <vector>

template <typename T>
T Median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
