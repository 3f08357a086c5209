// Timing helpers the benchmark programs share.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace paddock::bench {

// The wall-clock seconds the work takes.
inline double seconds(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The middle value (the upper one of the two middle values of an even count).
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace paddock::bench
