// The sensor's own evaluation of a video line: edge search inside the edge window, the
// evaluated value chosen by the evaluation mode, the input state and the CCD window.
#pragma once

#include "ccdmodel.h"
#include "protocol.h"

#include <array>
#include <cstdint>
#include <optional>

namespace korva::sim {

inline constexpr int kWindowPixels = 256;                        // pixels of a CCD window
inline constexpr int kLastWindowStart = kPixels - kWindowPixels;  // 768

struct Measurement {
    std::uint16_t leftEdge = 0;   // first edge, 0 when none was found
    std::uint16_t rightEdge = 0;  // last edge when two or more were found, else 0
    std::optional<int> value;     // evaluated value; empty when the edges it needs are missing
    std::uint16_t windowStart = 0;
    std::uint16_t edgeCount = 0;
    bool startInside = false;     // the first pixel searched lies inside the object
    bool endInside = false;       // the last pixel searched lies inside the object
};

// First pixel of the CCD window: 0 for the whole line, pStart (at most 768) in mode 1, and in
// mode 2 the start of a window centred on the object.
std::uint16_t windowStart(const Line& line, const Words& params);

Measurement measure(const Line& line, const Words& params);

// Words 0..8 of the measurement record (words 9..15 are zero).
Words measurementRecord(const Measurement& m, const Words& params);

// The 256-point video curve: every fourth pixel of the line, or in CCD modes 1 and 2 the
// 256 consecutive pixels of the window.
std::array<std::uint16_t, kCurvePoints> videoCurve(const Line& line, const Words& params);

}  // namespace korva::sim
