// Wire format of the KORVA-TB sensor: 36-byte frames of a 4-byte header and sixteen
// big-endian words, and the parameter set they carry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace korva::sim {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t PNUM = 16;                          // words per frame
inline constexpr std::size_t kFrameBytes = 2 * PNUM + 4;         // 36
inline constexpr std::uint8_t kSyncHigh = 0x00;
inline constexpr std::uint8_t kSyncLow = 0x55;
inline constexpr std::uint16_t kEchoWord = 0x00AA;               // word 0 of the line-check answer
inline constexpr std::size_t kBlockWords = 128;                  // words of one data block
inline constexpr std::size_t kCurvePoints = 256;                 // points of the video curve

using Words = std::array<std::uint16_t, PNUM>;

// Order codes of the command frames.
enum Order : std::uint16_t {
    WriteRam = 1,
    ReadRam = 2,
    WriteEeprom = 3,
    ReadEeprom = 4,
    TeachSetPoint = 5,
    TeachBackground = 6,
    LineCheck = 7,
    Measure = 8,
    DataBlock = 9,
};

// Input state codes of the measurement record (word 4). The code 3 is not used.
enum InputState : std::uint16_t { NoEdge = 0, InTolerance = 1, OutOfTolerance = 2 };

// Word index of each parameter in a parameter frame.
enum Param : std::size_t {
    power, pwrMode, vThd, bVal, polarity, eMode, eBeg, eEnd,
    tVal, tTol, iGain, ePoti, ccdMode, pStart, bMode, para15,
};

// The parameter set a sensor starts with when nothing else is stored.
inline constexpr Words kStartParameters = {500, 0, 512, 0, 1, 1, 200, 800,
                                           512, 100, 1, 0, 0, 1, 0, 0};

// Appends a 16-bit value high byte first.
void appendWord(Bytes& out, std::uint16_t value);
// Reads the big-endian word at byte offset `at`.
std::uint16_t wordAt(std::span<const std::uint8_t> bytes, std::size_t at);

// A frame: 00 55 00 <order> followed by the sixteen words. Commands and answers look alike.
Bytes encodeFrame(std::uint16_t order, const Words& words);
// The order code of a complete frame (bytes 2 and 3).
std::uint16_t frameOrder(std::span<const std::uint8_t> frame);
// The sixteen words of a complete frame (the header is skipped).
Words frameWords(std::span<const std::uint8_t> frame);
// Replaces word i (0 to 15) of a complete frame.
void setFrameWord(Bytes& frame, std::size_t i, std::uint16_t value);

}  // namespace korva::sim
