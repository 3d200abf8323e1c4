#include "frameassembler.h"

#include <algorithm>

namespace korva::sim {

std::vector<FrameAssembler::Frame> FrameAssembler::feed(std::span<const std::uint8_t> data,
                                                         Clock::time_point now)
{
    std::vector<Frame> frames;
    for (std::uint8_t byte : data) {
        if (pending_.empty())
            firstByte_ = now;
        pending_.push_back(byte);
        resynchronise();
        if (pending_.size() == kFrameBytes) {
            frames.push_back({std::move(pending_), firstByte_});
            pending_.clear();
        }
    }
    lastByte_ = now;
    return frames;
}

// Keeps the buffer starting with a possible sync word: 00, or 00 55.
void FrameAssembler::resynchronise()
{
    const auto syncStart = [this] {
        return pending_[0] == kSyncHigh && (pending_.size() < 2 || pending_[1] == kSyncLow);
    };
    while (!pending_.empty() && !syncStart())
        pending_.erase(pending_.begin());
}

void FrameAssembler::expire(Clock::time_point now)
{
    if (!pending_.empty() && now - lastByte_ >= kIdleDrop)
        pending_.clear();
}

std::optional<Clock::time_point> FrameAssembler::deadline() const
{
    if (pending_.empty())
        return std::nullopt;
    return lastByte_ + kIdleDrop;
}

}  // namespace korva::sim
