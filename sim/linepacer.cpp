#include "linepacer.h"

#include <algorithm>

namespace korva::sim {

LinePacer::LinePacer(bool paced, std::chrono::milliseconds latency) : paced_(paced), latency_(latency) {}

std::chrono::nanoseconds LinePacer::lineTime(std::size_t count)
{
    constexpr long long nsPerSecond = 1'000'000'000;
    const long long bits = static_cast<long long>(count) * kBitsPerByte;
    return std::chrono::nanoseconds((bits * nsPerSecond + kBaud - 1) / kBaud);
}

std::vector<LinePacer::Chunk> LinePacer::schedule(const Bytes& answer, Clock::time_point firstByte,
                                                  Clock::time_point now, std::chrono::milliseconds slower)
{
    if (paced_)
        return paced(answer, firstByte, latency_ + slower);
    if (answer.empty())
        return {};
    return {{now + latency_ + slower, answer}};
}

// The command ends 36 byte times after it began (or after the command before it ended); the
// answer starts after the delay, once the line back is free, and each chunk is due when its last
// byte would have arrived.
std::vector<LinePacer::Chunk> LinePacer::paced(const Bytes& answer, Clock::time_point firstByte,
                                               std::chrono::milliseconds delay)
{
    const Clock::time_point commandEnd = std::max(firstByte, inputFree_) + lineTime(kFrameBytes);
    inputFree_ = commandEnd;
    if (answer.empty())
        return {};
    const Clock::time_point answerStart = std::max(commandEnd + delay, outputFree_);
    std::vector<Chunk> chunks;
    for (std::size_t from = 0; from < answer.size(); from += kChunkBytes) {
        const std::size_t to = std::min(from + kChunkBytes, answer.size());
        chunks.push_back({answerStart + lineTime(to),
                          Bytes(answer.begin() + std::ptrdiff_t(from), answer.begin() + std::ptrdiff_t(to))});
    }
    outputFree_ = chunks.back().due;
    return chunks;
}

}  // namespace korva::sim
