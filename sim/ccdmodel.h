// The scene the simulated sensor looks at: a 1024-pixel CCD line under a bright, slightly
// uneven illumination, with an object whose two edges move slowly back and forth.
#pragma once

#include "protocol.h"

#include <array>
#include <cstdint>

namespace korva::sim {

inline constexpr int kPixels = 1024;
inline constexpr int kMaxLevel = 1023;

using Line = std::array<std::uint16_t, kPixels>;

// Where the object lies at a moment, in pixels (fractional: the edges move smoothly).
struct ObjectSpan {
    double left;
    double right;
};

class CcdModel {
public:
    explicit CcdModel(std::uint64_t seed);

    // The object's position at time t (seconds): its centre swings over about 300..700 with a
    // period of 8 s while its width breathes between 160 and 220 pixels.
    static ObjectSpan objectAt(double t);

    // The video line as the sensor delivers it at time t under the parameter set: brightness
    // from power and video gain, polarity, noise, then the background mode's correction.
    Line line(const Words& params, double t) const;

    // Takes what the sensor sees without the object (and without noise) under the parameter
    // set as the background that background mode 2 removes.
    void teachBackground(const Words& params);

private:
    double noise(double t, int x) const;
    Line background(const Words& params) const;
    std::uint16_t corrected(const Words& params, int x, double raw) const;

    std::uint64_t seed_;
    Line taught_{};          // all zero until the first teach: mode 2 then changes nothing
    double taughtMean_ = 0;
};

}  // namespace korva::sim
