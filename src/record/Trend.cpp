// The last minute of the display value in a ring of 50 ms slots.
#include "record/Trend.h"

#include <algorithm>

namespace korva {

void Trend::Reset(TimePoint start)
{
    start_ = start;
    slots_.fill(Slot{});
}

void Trend::Add(uint16_t value, TimePoint time)
{
    if (time < start_)
        return;
    const int64_t index = SlotOf(time);
    Slot& slot = slots_[static_cast<std::size_t>(index % SLOTS)];
    if (slot.index > index)  // the ring slot already holds a newer minute
        return;
    if (slot.index < index) {
        slot = {index, value, value};
        return;
    }
    slot.low = std::min(slot.low, value);
    slot.high = std::max(slot.high, value);
}

std::size_t Trend::Points(TimePoint now, std::span<double, MAX_POINTS> x, std::span<double, MAX_POINTS> y, double& low,
                          double& high) const
{
    if (now < start_)
        return 0;
    std::size_t n = 0;
    const int64_t newest = SlotOf(now);
    for (int64_t index = std::max<int64_t>(0, newest - SLOTS + 1); index <= newest; ++index) {
        const Slot& slot = slots_[static_cast<std::size_t>(index % SLOTS)];
        if (slot.index != index)
            continue;
        const double seconds = -std::chrono::duration<double>(now - start_ - index * SLOT).count();
        x[n] = seconds;
        y[n++] = slot.low;
        if (slot.high != slot.low) {
            x[n] = seconds;
            y[n++] = slot.high;
        }
        low = std::min<double>(low, slot.low);
        high = std::max<double>(high, slot.high);
    }
    return n;
}

}  // namespace korva
