// The simulated sensor on a pseudo-terminal: a thread that reads command frames from the
// pty master, answers them through the SensorEngine, paced like the real serial line.
#pragma once

#include "faults.h"
#include "frameassembler.h"
#include "linepacer.h"
#include "sensorengine.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace korva::sim {

struct SensorOptions {
    static constexpr std::chrono::milliseconds kMaxLatency{10'000};   // largest --latency

    bool pacing = true;                      // answer at the pace of a 19200-baud line
    std::chrono::milliseconds latency{0};    // extra delay before each answer
    Faults faults;
    std::string eepromFile;                  // keeps the EEPROM set across runs when not empty
    std::string linkPath;                    // symlink to the device when not empty
    std::uint64_t seed = 1;                  // seed of the video noise
    // A test mode: word 2 (the value shown) of each measurement record is the record's number,
    // 1, 2, 3, ... (counting on from 0 after 65535), so that a test can tell every record apart.
    bool numbered = false;
};

class PtySensor {
public:
    // Like a real sensor, it holds little: while this many answer bytes wait to be written, it
    // reads no further commands, and the pseudo-terminal's own buffer holds the PC's writes back.
    static constexpr std::size_t kOutboxLimit = 4096;
    // Command bytes taken in one pass of the serving loop, so due answers are never starved.
    static constexpr std::size_t kInputPerPass = 4096;

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
    std::size_t mostBytesHeld() const { return mostHeld_; }

private:
    void openTerminal();
    void makeLink();
    void removeLink();
    void closeAll();

    void serve();
    bool waitForWork();
    bool takesInput() const;
    void readInput(Clock::time_point now);
    void noteHeld();
    void handleFrame(const FrameAssembler::Frame& frame, Clock::time_point now);
    Bytes answer(const Bytes& frame, Clock::time_point now);
    void saveEepromIfWritten(std::uint16_t order);
    void sendDue(Clock::time_point now);
    void dropFront();
    std::optional<Clock::time_point> nextDeadline() const;

    const SensorOptions options_;
    mutable std::mutex mutex_;   // guards engine_, received_ and lastWords_
    SensorEngine engine_;
    std::map<std::uint16_t, std::uint64_t> received_;
    std::uint64_t commandNumber_ = 0;
    std::uint16_t recordNumber_ = 0;  // of the last measurement record numbered
    Words lastWords_{};

    FrameAssembler assembler_;
    LinePacer pacer_;
    std::deque<LinePacer::Chunk> outbox_;
    std::size_t outboxBytes_ = 0;
    std::atomic<std::size_t> mostHeld_{0};
    bool writeBlocked_ = false;

    int master_ = -1;
    int slave_ = -1;             // kept open so the PC side may close and reopen the device
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::string devicePath_;
    Clock::time_point epoch_{};
    std::thread thread_;
};

}  // namespace korva::sim
