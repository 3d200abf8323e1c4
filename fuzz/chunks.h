// How a fuzz input reaches the code under test: the first byte chooses the sizes of the chunks in
// which the remaining bytes arrive, as a serial line hands them over in pieces of any size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace korva::fuzz {

using ByteSpan = std::span<const std::uint8_t>;

// Calls deliver(chunk) for consecutive chunks of payload. Pattern 0xFF delivers the payload whole;
// any other pattern alternates chunks of (pattern >> 4) + 1 and (pattern & 15) + 1 bytes, so 0x00
// delivers it byte by byte.
inline constexpr std::uint8_t kWhole = 0xFF;

template <typename Deliver>
void InChunks(std::uint8_t pattern, ByteSpan payload, Deliver deliver)
{
    const std::size_t sizes[2] = {std::size_t(pattern >> 4) + 1, std::size_t(pattern & 0x0F) + 1};
    std::size_t turn = 0;
    while (!payload.empty()) {
        const std::size_t size = pattern == kWhole ? payload.size() : std::min(sizes[turn++ % 2], payload.size());
        deliver(payload.first(size));
        payload = payload.subspan(size);
    }
}

}  // namespace korva::fuzz
