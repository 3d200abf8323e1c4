#include "protocol.h"

namespace korva::sim {

void appendWord(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::uint16_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

Bytes encodeFrame(std::uint16_t order, const Words& words)
{
    Bytes frame{kSyncHigh, kSyncLow};
    frame.reserve(kFrameBytes);
    appendWord(frame, order);
    for (std::uint16_t w : words)
        appendWord(frame, w);
    return frame;
}

std::uint16_t frameOrder(std::span<const std::uint8_t> frame)
{
    return wordAt(frame, 2);
}

Words frameWords(std::span<const std::uint8_t> frame)
{
    Words words{};
    for (std::size_t i = 0; i < PNUM; ++i)
        words[i] = wordAt(frame, 4 + 2 * i);
    return words;
}

void setFrameWord(Bytes& frame, std::size_t i, std::uint16_t value)
{
    frame[4 + 2 * i] = static_cast<std::uint8_t>(value >> 8);
    frame[5 + 2 * i] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace korva::sim
