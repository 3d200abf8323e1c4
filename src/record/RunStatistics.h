// Statistics of one run: records counted, their rate, the time-outs, and minimum, maximum, mean and
// standard deviation of the display value (record word 2). Adding a record is a few arithmetic
// operations; the text line is formatted only when asked for.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace korva {

class RunStatistics {
public:
    // Starts a new run at `start`, the moment from which the rate is measured.
    void Reset(std::chrono::steady_clock::time_point start);

    void AddRecord(uint16_t value);
    void AddTimeOut() { ++timeOuts_; }
    // Answer frames that came for no request (late answers after a time-out) and were dropped.
    void SetStrayFrames(uint64_t frames) { strayFrames_ = frames; }

    uint64_t Records() const { return records_; }
    uint64_t TimeOuts() const { return timeOuts_; }
    uint64_t StrayFrames() const { return strayFrames_; }
    uint16_t Min() const { return min_; }
    uint16_t Max() const { return max_; }
    double Mean() const { return mean_; }
    // Population standard deviation of the values so far; 0 before the first record.
    double Sigma() const;
    // Records per second from the start of the run to `now`; 0 while no time has passed.
    double Rate(std::chrono::steady_clock::time_point now) const;

    // "records N · R/s · time-outs T · stray F · value min A max B mean M σ S" in UTF-8, R, M and S with one
    // decimal. Before the first record the four value figures are "-".
    std::string Text(std::chrono::steady_clock::time_point now) const;
    // The same figures as one JSON object: {"records":N,"rate":R,"timeouts":T,"stray":F,"min":A,
    // "max":B,"mean":M,"sigma":S}, the four value figures null before the first record.
    std::string Json(std::chrono::steady_clock::time_point now) const;

private:
    std::chrono::steady_clock::time_point start_{};
    uint64_t records_ = 0;
    uint64_t timeOuts_ = 0;
    uint64_t strayFrames_ = 0;
    uint16_t min_ = 0;
    uint16_t max_ = 0;
    // Welford's running mean and sum of squared deviations: exact for equal values and free of the
    // cancellation a plain sum of squares suffers at large values with a small spread.
    double mean_ = 0;
    double squares_ = 0;
};

}  // namespace korva
