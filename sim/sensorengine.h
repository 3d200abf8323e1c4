// The protocol engine of the simulated sensor: answers each complete command frame from its
// RAM and EEPROM parameter sets and from what its CCD line sees at the given time.
#pragma once

#include "ccdmodel.h"
#include "protocol.h"

#include <cstdint>
#include <span>

namespace korva::sim {

class SensorEngine {
public:
    // RAM starts as a copy of the EEPROM set, as after switching the sensor on.
    explicit SensorEngine(std::uint64_t seed, const Words& eeprom = kStartParameters);

    // Handles one complete 36-byte command at time t (seconds) and returns the bytes to send
    // back: an answer frame, a bare 256-byte data block, or nothing.
    Bytes handle(std::span<const std::uint8_t> frame, double t);

    const Words& ram() const { return ram_; }
    const Words& eeprom() const { return eeprom_; }

private:
    Bytes teachSetPoint(double t);
    Bytes teachBackground(const Words& words);
    Bytes measurement(double t) const;
    Bytes dataBlock(std::uint16_t selector, double t) const;

    CcdModel model_;
    Words eeprom_;
    Words ram_;
};

}  // namespace korva::sim
