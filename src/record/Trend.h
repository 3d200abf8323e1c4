// The display value of the last minute, for the trend graph: the lowest and highest value of every
// 50 ms, in a ring of fixed slots, so adding a record costs a comparison or two and nothing
// allocates. The caller passes every time point; nothing here reads a clock.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace korva {

class Trend {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // The span of time kept and shown, and the slot each lowest and highest value stands for.
    static constexpr int SECONDS = 60;
    static constexpr std::chrono::milliseconds SLOT{50};
    static constexpr int SLOTS = SECONDS * 1000 / 50;
    // A slot gives one point, or two when its lowest and highest value differ.
    static constexpr std::size_t MAX_POINTS = 2 * SLOTS;

    // Empties the trend; `start` begins its first slot.
    void Reset(TimePoint start);

    // Adds a value taken at `time`. A time before the start, or a minute or more before a value
    // already kept in the same ring slot (time gone backwards), is dropped.
    void Add(uint16_t value, TimePoint time);

    // The points of the minute that ends at `now`, oldest first, into `x` and `y`: x is the start
    // of the point's slot in seconds before `now` (greater than -SECONDS, at most 0), y the slot's
    // lowest value and then, when it differs, its highest at the same x. Widens [low, high] to the
    // values given. Returns the number of points. A slot whose minute has passed at `now` is left
    // out: a value taken at second 0 is shown until `now` reaches second 60.
    std::size_t Points(TimePoint now, std::span<double, MAX_POINTS> x, std::span<double, MAX_POINTS> y, double& low,
                       double& high) const;

private:
    struct Slot {
        int64_t index = -1;  // slot number since the start; -1 while empty
        uint16_t low = 0;
        uint16_t high = 0;
    };

    // The slot number of `time`, negative before the start.
    int64_t SlotOf(TimePoint time) const { return (time - start_) / SLOT; }

    TimePoint start_{};
    std::array<Slot, SLOTS> slots_{};
};

}  // namespace korva
