// Faults the simulated sensor can be told to show, to exercise the PC side's error paths.
#pragma once

#include "protocol.h"

#include <cstdint>
#include <optional>

namespace korva::sim {

struct Faults {
    bool silent = false;                  // never answers
    bool wrongEcho = false;               // answers the line check with 0xAA00
    std::optional<std::size_t> truncate;  // cuts every answer to this many bytes
    std::size_t extra = 0;                // appends this many junk bytes to every answer
    std::uint64_t dropEvery = 0;          // ignores every n-th command (0: none)

    static constexpr std::uint8_t kJunk = 0xA5;
    // The largest values the options take: a cut must leave the longest answer (a 256-byte
    // block) shorter, junk stays at a few KB, and drops come at least once in a million commands.
    static constexpr std::size_t kMaxTruncate = 2 * kBlockWords - 1;
    static constexpr std::size_t kMaxExtra = 4096;
    static constexpr std::uint64_t kMaxDropEvery = 1'000'000;

    // Whether the command with this running number (1, 2, ...) is ignored.
    bool drops(std::uint64_t commandNumber) const;
    // Changes the answer to a command of the given order as the faults demand.
    void apply(std::uint16_t order, Bytes& answer) const;
};

}  // namespace korva::sim
