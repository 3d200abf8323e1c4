#include "sensorengine.h"

#include "evaluation.h"

namespace korva::sim {

SensorEngine::SensorEngine(std::uint64_t seed, const Words& eeprom)
    : model_(seed), eeprom_(eeprom), ram_(eeprom)
{
}

Bytes SensorEngine::handle(std::span<const std::uint8_t> frame, double t)
{
    const std::uint16_t order = frameOrder(frame);
    const Words words = frameWords(frame);
    switch (order) {
    case WriteRam:
        ram_ = words;
        return {};
    case WriteEeprom:
        ram_ = eeprom_ = words;
        return {};
    case ReadRam: return encodeFrame(order, ram_);
    case ReadEeprom: return encodeFrame(order, eeprom_);
    case TeachSetPoint: return teachSetPoint(t);
    case TeachBackground: return teachBackground(words);
    case LineCheck: return encodeFrame(order, {kEchoWord});
    case Measure: return measurement(t);
    case DataBlock: return dataBlock(words[1], t);
    default: return {};
    }
}

// The value evaluated now becomes the set point; without the edges it needs the set point
// stays. The answer echoes the order with the resulting RAM set.
Bytes SensorEngine::teachSetPoint(double t)
{
    if (const auto value = measure(model_.line(ram_, t), ram_).value)
        ram_[tVal] = std::uint16_t(*value);
    return encodeFrame(TeachSetPoint, ram_);
}

// The background teach carries the operator's current settings: they become the RAM set, and
// the background is taught under them.
Bytes SensorEngine::teachBackground(const Words& words)
{
    ram_ = words;
    model_.teachBackground(ram_);
    return encodeFrame(TeachBackground, ram_);
}

Bytes SensorEngine::measurement(double t) const
{
    return encodeFrame(Measure, measurementRecord(measure(model_.line(ram_, t), ram_), ram_));
}

// Selector 0 gives points 0..127 of the video curve, any other selector points 128..255.
Bytes SensorEngine::dataBlock(std::uint16_t selector, double t) const
{
    const auto curve = videoCurve(model_.line(ram_, t), ram_);
    const std::size_t first = selector == 0 ? 0 : kBlockWords;
    Bytes block;
    block.reserve(2 * kBlockWords);
    for (std::size_t i = first; i < first + kBlockWords; ++i)
        appendWord(block, curve[i]);
    return block;
}

}  // namespace korva::sim
