#include "ccdmodel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace korva::sim {

namespace {

constexpr double kFullScale = 880.0;     // level of the brightest pixel at power 1000 without gain
constexpr double kDarkOffset = 12.0;     // dark-current level present even without light
constexpr double kDarkFraction = 0.06;   // light the dark side still returns
constexpr double kEdgeSoftness = 1.5;    // edges blur over about four pixels
constexpr double kNoiseAmplitude = 5.0;  // noise stays within +- this many levels
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Smooth illumination profile: falls off towards both ends with a gentle ripple.
double illumination(int x)
{
    const double u = (x - 540.0) / 560.0;
    return 1.0 - 0.22 * u * u + 0.04 * std::sin(kTwoPi * x / 380.0 + 0.7);
}

// Brightness of the bright side at a fully lit pixel: power 0..1000 scales it, the video gain
// doubles it.
double brightness(const Words& params)
{
    const double gain = params[iGain] == 1 ? 2.0 : 1.0;
    return gain * params[power] / 1000.0 * kFullScale;
}

// How much of pixel x the object covers, 0..1, with soft edges.
double coverage(const ObjectSpan& object, int x)
{
    const auto logistic = [](double u) { return 1.0 / (1.0 + std::exp(-u)); };
    return logistic((x - object.left) / kEdgeSoftness) * logistic((object.right - x) / kEdgeSoftness);
}

// Fraction of the light a pixel returns: polarity 1 shows a dark object on a bright ground,
// polarity 0 a bright object on a dark ground.
double lightFraction(const Words& params, double covered)
{
    const bool darkObject = params[polarity] != 0;
    const double ground = darkObject ? 1.0 : kDarkFraction;
    const double object = darkObject ? kDarkFraction : 1.0;
    return ground + (object - ground) * covered;
}

double clampLevel(double value)
{
    return std::clamp(value, 0.0, double(kMaxLevel));
}

std::uint64_t splitmix(std::uint64_t z)
{
    z += 0x9E3779B97F4A7C15ULL;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

CcdModel::CcdModel(std::uint64_t seed) : seed_(seed) {}

ObjectSpan CcdModel::objectAt(double t)
{
    const double centre = 500.0 + 200.0 * std::sin(kTwoPi * t / 8.0);
    const double width = 190.0 + 30.0 * std::sin(kTwoPi * t / 11.0 + 1.0);
    return {centre - width / 2.0, centre + width / 2.0};
}

// Noise is a pure function of seed, exposure (1 ms steps) and pixel, so a line at a given
// time is always the same line.
double CcdModel::noise(double t, int x) const
{
    const auto exposure = static_cast<std::uint64_t>(std::llround(t * 1000.0));
    const std::uint64_t h = splitmix(seed_ ^ splitmix(exposure ^ splitmix(std::uint64_t(x))));
    const double u1 = double(h & 0xFFFFFFFFULL) / 4294967296.0;
    const double u2 = double(h >> 32) / 4294967296.0;
    return (u1 + u2 - 1.0) * kNoiseAmplitude;
}

Line CcdModel::line(const Words& params, double t) const
{
    const ObjectSpan object = objectAt(t);
    const double bright = brightness(params);
    Line out{};
    for (int x = 0; x < kPixels; ++x) {
        const double light = bright * illumination(x) * lightFraction(params, coverage(object, x));
        out[x] = corrected(params, x, clampLevel(kDarkOffset + light + noise(t, x)));
    }
    return out;
}

// Background mode 1 subtracts the fixed value bVal. Mode 2 subtracts the taught background's
// deviation from its own mean: the unevenness of the illumination goes, the level stays, so
// the line turns flat except for the object, whichever the polarity.
std::uint16_t CcdModel::corrected(const Words& params, int x, double raw) const
{
    double value = raw;
    if (params[bMode] == 1)
        value -= params[bVal];
    else if (params[bMode] == 2)
        value -= taught_[x] - taughtMean_;
    return static_cast<std::uint16_t>(std::lround(clampLevel(value)));
}

Line CcdModel::background(const Words& params) const
{
    const double ground = brightness(params) * lightFraction(params, 0.0);
    Line out{};
    for (int x = 0; x < kPixels; ++x)
        out[x] = static_cast<std::uint16_t>(std::lround(clampLevel(kDarkOffset + ground * illumination(x))));
    return out;
}

void CcdModel::teachBackground(const Words& params)
{
    taught_ = background(params);
    taughtMean_ = std::accumulate(taught_.begin(), taught_.end(), 0.0) / kPixels;
}

}  // namespace korva::sim
