// Times the answers as a 19200-baud 8N1 line would carry them: ten bits a byte, commands
// and answers each in turn on their own direction of the line.
#pragma once

#include "frameassembler.h"
#include "protocol.h"

#include <chrono>
#include <vector>

namespace korva::sim {

class LinePacer {
public:
    static constexpr int kBaud = 19200;
    static constexpr int kBitsPerByte = 10;
    static constexpr std::size_t kChunkBytes = 16;   // delivered like a UART's 16-byte FIFO

    struct Chunk {
        Clock::time_point due;
        Bytes bytes;
    };

    // Without pacing, answers go out as soon as they are ready (after the latency).
    LinePacer(bool paced, std::chrono::milliseconds latency);

    // Time the line needs for `count` bytes, rounded up.
    static std::chrono::nanoseconds lineTime(std::size_t count);

    // Accounts for a command whose first byte reached the line at `firstByte`, and returns the
    // chunks of its answer with the moments they are due, `slower` later than the latency says.
    // Commands without an answer (an empty `answer`) occupy the line all the same.
    std::vector<Chunk> schedule(const Bytes& answer, Clock::time_point firstByte, Clock::time_point now,
                                std::chrono::milliseconds slower = {});

private:
    std::vector<Chunk> paced(const Bytes& answer, Clock::time_point firstByte, std::chrono::milliseconds delay);

    bool paced_;
    std::chrono::milliseconds latency_;
    Clock::time_point inputFree_{};    // when the PC-to-sensor direction is idle again
    Clock::time_point outputFree_{};   // when the sensor-to-PC direction is idle again
};

}  // namespace korva::sim
