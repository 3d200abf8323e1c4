// Cuts the byte stream coming from the PC into 36-byte command frames.
#pragma once

#include "protocol.h"

#include <chrono>
#include <optional>
#include <span>
#include <vector>

namespace korva::sim {

using Clock = std::chrono::steady_clock;

class FrameAssembler {
public:
    // A partial frame is dropped after this long without a further byte.
    static constexpr std::chrono::milliseconds kIdleDrop{100};

    struct Frame {
        Bytes bytes;                   // exactly 36 bytes, starting with 00 55
        Clock::time_point firstByte;   // when the line started to carry it
    };

    // Takes the bytes that arrived at `now` and returns the frames they complete. Bytes
    // before a 00 55 sync word are skipped.
    std::vector<Frame> feed(std::span<const std::uint8_t> data, Clock::time_point now);

    // Drops a partial frame whose last byte came kIdleDrop or longer before `now`.
    void expire(Clock::time_point now);

    // When the partial frame will be dropped, if there is one.
    std::optional<Clock::time_point> deadline() const;

    // Bytes of the partial frame held so far (0 to 35).
    std::size_t pendingBytes() const { return pending_.size(); }

private:
    void resynchronise();

    Bytes pending_;
    Clock::time_point firstByte_{};
    Clock::time_point lastByte_{};
};

}  // namespace korva::sim
