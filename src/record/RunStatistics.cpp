// Run statistics with Welford's update of mean and squared deviations.
#include "record/RunStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace korva {

void RunStatistics::Reset(std::chrono::steady_clock::time_point start)
{
    *this = RunStatistics{};
    start_ = start;
}

void RunStatistics::AddRecord(uint16_t value)
{
    ++records_;
    min_ = records_ == 1 ? value : std::min(min_, value);
    max_ = records_ == 1 ? value : std::max(max_, value);
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(records_);
    squares_ += delta * (value - mean_);
}

double RunStatistics::Sigma() const
{
    return records_ == 0 ? 0.0 : std::sqrt(squares_ / static_cast<double>(records_));
}

double RunStatistics::Rate(std::chrono::steady_clock::time_point now) const
{
    const double seconds = std::chrono::duration<double>(now - start_).count();
    return seconds > 0 ? static_cast<double>(records_) / seconds : 0.0;
}

std::string RunStatistics::Text(std::chrono::steady_clock::time_point now) const
{
    char values[80] = "min - max - mean - \u03C3 -";
    if (records_ > 0)
        std::snprintf(values, sizeof values, "min %u max %u mean %.1f \u03C3 %.1f", unsigned{min_}, unsigned{max_},
                      mean_, Sigma());
    char line[200];
    const int length =
        std::snprintf(line, sizeof line, "records %llu \u00B7 %.1f/s \u00B7 time-outs %llu \u00B7 stray %llu \u00B7 value %s",
                      static_cast<unsigned long long>(records_), Rate(now), static_cast<unsigned long long>(timeOuts_),
                      static_cast<unsigned long long>(strayFrames_), values);
    return std::string(line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
}

std::string RunStatistics::Json(std::chrono::steady_clock::time_point now) const
{
    char values[120] = "\"min\":null,\"max\":null,\"mean\":null,\"sigma\":null";
    if (records_ > 0)
        std::snprintf(values, sizeof values, "\"min\":%u,\"max\":%u,\"mean\":%.1f,\"sigma\":%.1f", unsigned{min_},
                      unsigned{max_}, mean_, Sigma());
    char object[240];
    const int length = std::snprintf(object, sizeof object, "{\"records\":%llu,\"rate\":%.1f,\"timeouts\":%llu,\"stray\":%llu,%s}",
                                     static_cast<unsigned long long>(records_), Rate(now),
                                     static_cast<unsigned long long>(timeOuts_),
                                     static_cast<unsigned long long>(strayFrames_), values);
    return std::string(object, std::min(static_cast<std::size_t>(length), sizeof object - 1));
}

}  // namespace korva
