// The simulated sensor on a pseudo-terminal (Linux only): a thread that reads command bytes from
// the pty master into the SimulatedSensor and writes its answer chunks back when they are due.
#pragma once

#include "options.h"
#include "simulatedsensor.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace korva::sim {

class PtySensor {
public:
    // While this many answer bytes wait to be written, it reads no further commands, and the
    // pseudo-terminal's own buffer holds the PC's writes back.
    static constexpr std::size_t kOutboxLimit = SimulatedSensor::kOutboxLimit;
    // Command bytes taken in one pass of the serving loop, so due answers are never starved.
    static constexpr std::size_t kInputPerPass = SimulatedSensor::kInputPerPass;

    explicit PtySensor(SensorOptions options);
    ~PtySensor();
    PtySensor(const PtySensor&) = delete;
    PtySensor& operator=(const PtySensor&) = delete;

    // Loads the EEPROM file, opens the pseudo-terminal, makes the link and starts serving.
    // Throws std::runtime_error when any of it fails.
    void start();
    // Stops serving, closes the pseudo-terminal and removes the link. Safe to call twice.
    void stop();

    // The slave device the PC side opens, for example /dev/pts/7.
    const std::string& devicePath() const { return devicePath_; }

    // Thread-safe views of the sensor's state, for tests and the benchmark.
    Words ram() const;
    Words eeprom() const;
    std::uint64_t commandsReceived(std::uint16_t order) const;
    Words lastCommandWords() const;
    // The most bytes held at once since the start: a partial command frame and the answers not
    // yet written.
    std::size_t mostBytesHeld() const { return sensor_.mostBytesHeld(); }

private:
    void openTerminal();
    void makeLink();
    void removeLink();
    void closeAll();

    void serve();
    bool waitForWork();
    void readInput(Clock::time_point now);
    void sendDue(Clock::time_point now);
    std::optional<Clock::time_point> nextDeadline() const;

    const std::string linkPath_;
    mutable std::mutex mutex_;   // guards what the views read of sensor_: its engine and counts
    SimulatedSensor sensor_;
    bool writeBlocked_ = false;

    int master_ = -1;
    int slave_ = -1;             // kept open so the PC side may close and reopen the device
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string devicePath_;
    std::thread thread_;
};

}  // namespace korva::sim
