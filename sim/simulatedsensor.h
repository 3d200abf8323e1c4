// The simulated sensor at its end of the serial line, whatever carries the bytes: command bytes
// come in with the moment they arrived, each whole command is answered through the SensorEngine
// (faults, numbered records and the EEPROM file as the options say), and the answer waits in the
// outbox in chunks, each with the moment the line would have delivered it (LinePacer).
//
// PtySensor serves it on a pseudo-terminal from a thread of its own; the program's simulated line
// (the port device "sim:") serves it on the user-interface thread. It is not thread-safe itself.
#pragma once

#include "frameassembler.h"
#include "linepacer.h"
#include "options.h"
#include "sensorengine.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>

namespace korva::sim {

class SimulatedSensor {
public:
    // Like a real sensor, it holds little: while this many answer bytes wait to go out, it takes
    // no further commands (the bytes wait on the line, and its buffer holds the PC's writes back).
    static constexpr std::size_t kOutboxLimit = 4096;
    // Command bytes taken in one go, so due answers are never starved.
    static constexpr std::size_t kInputPerPass = 4096;

    explicit SimulatedSensor(SensorOptions options);

    // Loads the EEPROM file, when the options name one that exists, and starts the sensor's clock
    // (the moving object's time). Throws std::runtime_error when the file cannot be read or is
    // malformed. A file that is not a regular file is neither read nor written: a message says so,
    // and the set lives in memory only.
    void start();

    const SensorOptions& options() const { return options_; }

    // ---- command bytes in ----
    // Whether it takes command bytes now: while the outbox has room, and always to the end of a
    // partial frame, so that a frame is never dropped for bytes left waiting on the line.
    bool takesInput() const;
    // The most bytes to take at once so that the input stops at the end of the frame being
    // assembled (a full outbox then holds back the next command whole).
    std::size_t frameRoom() const { return kFrameBytes - assembler_.pendingBytes(); }
    // Takes bytes that arrived at `now` (at most frameRoom() of them are expected) and answers the
    // commands they complete.
    void receive(std::span<const std::uint8_t> bytes, Clock::time_point now);
    // Takes from `bytes` what it takes now, frame by frame as takesInput() allows and at most
    // kInputPerPass; returns the count taken.
    std::size_t take(std::span<const std::uint8_t> bytes, Clock::time_point now);
    // Drops a partial command frame that has waited too long for its next byte.
    void expire(Clock::time_point now) { assembler_.expire(now); }
    // When a partial frame will be dropped, if one is held.
    std::optional<Clock::time_point> partialFrameDeadline() const { return assembler_.deadline(); }

    // ---- answer bytes out ----
    // When the first chunk of the outbox is due, if any waits.
    std::optional<Clock::time_point> nextAnswerDue() const;
    // When the last chunk of the answer the first chunk belongs to is due: when that answer is
    // complete at the PC's end, if any waits.
    std::optional<Clock::time_point> answerCompleteDue() const;
    // The bytes of the first chunk still to go out when it is due at `now`, else nothing.
    std::span<const std::uint8_t> due(Clock::time_point now) const;
    // `count` bytes of the first chunk have gone out.
    void sent(std::size_t count);
    // Gives the first chunk up (it cannot be sent).
    void dropFront();
    // Bytes waiting in the outbox.
    std::size_t outboxBytes() const { return outboxBytes_; }

    // ---- state, for tests, tools and the benchmark ----
    const Words& ram() const { return engine_.ram(); }
    const Words& eeprom() const { return engine_.eeprom(); }
    std::uint64_t commandsReceived(std::uint16_t order) const;
    const Words& lastCommandWords() const { return lastWords_; }
    // The most bytes held at once since the start: a partial command frame and the answers not
    // yet sent. Safe to read from another thread.
    std::size_t mostBytesHeld() const { return mostHeld_; }

private:
    void handleFrame(const FrameAssembler::Frame& frame, Clock::time_point now);
    Bytes answer(const Bytes& frame, Clock::time_point now);
    void saveEepromIfWritten(std::uint16_t order);
    void noteHeld();
    void popFront();

    const SensorOptions options_;
    bool eepromKept_ = false;  // the EEPROM file is read and written
    SensorEngine engine_;
    std::map<std::uint16_t, std::uint64_t> received_;
    std::uint64_t commandNumber_ = 0;
    std::uint16_t recordNumber_ = 0;  // of the last measurement record numbered
    Words lastWords_{};

    FrameAssembler assembler_;
    LinePacer pacer_;
    std::deque<LinePacer::Chunk> outbox_;
    std::deque<std::uint64_t> answerOf_;  // for each chunk of the outbox, the number of its answer
    std::uint64_t answers_ = 0;
    std::size_t outboxBytes_ = 0;
    std::atomic<std::size_t> mostHeld_{0};
    Clock::time_point epoch_{};
};

}  // namespace korva::sim
