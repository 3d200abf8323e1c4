#include "simulatedsensor.h"

#include "eepromfile.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace korva::sim {

SimulatedSensor::SimulatedSensor(SensorOptions options)
    : options_(std::move(options)),
      engine_(options_.seed),
      pacer_(options_.pacing, options_.latency),
      epoch_(Clock::now())
{
}

void SimulatedSensor::start()
{
    eepromKept_ = !options_.eepromFile.empty() && usableEepromFile(options_.eepromFile);
    if (!options_.eepromFile.empty() && !eepromKept_)
        std::fprintf(stderr, "korva-sensor-sim: %s is not a regular file; the EEPROM set is kept in memory only\n",
                     options_.eepromFile.c_str());
    if (eepromKept_) {
        if (const auto stored = loadEeprom(options_.eepromFile))
            engine_ = SensorEngine(options_.seed, *stored);
    }
    epoch_ = Clock::now();
}

bool SimulatedSensor::takesInput() const
{
    return outboxBytes_ < kOutboxLimit || assembler_.pendingBytes() > 0;
}

void SimulatedSensor::receive(std::span<const std::uint8_t> bytes, Clock::time_point now)
{
    for (const auto& frame : assembler_.feed(bytes, now))
        handleFrame(frame, now);
    noteHeld();
}

std::size_t SimulatedSensor::take(std::span<const std::uint8_t> bytes, Clock::time_point now)
{
    std::size_t taken = 0;
    while (taken < bytes.size() && taken < kInputPerPass && takesInput()) {
        const std::size_t n = std::min(frameRoom(), bytes.size() - taken);
        receive(bytes.subspan(taken, n), now);
        taken += n;
    }
    return taken;
}

std::optional<Clock::time_point> SimulatedSensor::nextAnswerDue() const
{
    if (outbox_.empty())
        return std::nullopt;
    return outbox_.front().due;
}

std::optional<Clock::time_point> SimulatedSensor::answerCompleteDue() const
{
    if (outbox_.empty())
        return std::nullopt;
    std::size_t last = 0;
    while (last + 1 < outbox_.size() && answerOf_[last + 1] == answerOf_.front())
        ++last;
    return outbox_[last].due;
}

std::span<const std::uint8_t> SimulatedSensor::due(Clock::time_point now) const
{
    if (outbox_.empty() || outbox_.front().due > now)
        return {};
    return outbox_.front().bytes;
}

void SimulatedSensor::sent(std::size_t count)
{
    Bytes& bytes = outbox_.front().bytes;
    count = std::min(count, bytes.size());
    bytes.erase(bytes.begin(), bytes.begin() + std::ptrdiff_t(count));
    outboxBytes_ -= count;
    if (bytes.empty())
        popFront();
}

void SimulatedSensor::dropFront()
{
    outboxBytes_ -= outbox_.front().bytes.size();
    popFront();
}

void SimulatedSensor::popFront()
{
    outbox_.pop_front();
    answerOf_.pop_front();
}

std::uint64_t SimulatedSensor::commandsReceived(std::uint16_t order) const
{
    const auto it = received_.find(order);
    return it == received_.end() ? 0 : it->second;
}

void SimulatedSensor::noteHeld()
{
    const std::size_t held = outboxBytes_ + assembler_.pendingBytes();
    if (held > mostHeld_)
        mostHeld_ = held;
}

void SimulatedSensor::handleFrame(const FrameAssembler::Frame& frame, Clock::time_point now)
{
    const Bytes reply = answer(frame.bytes, now);
    ++answers_;
    const std::uint16_t order = frameOrder(frame.bytes);
    const bool late = order < 16 && (options_.lateOrders >> order & 1u) != 0;
    for (auto& chunk : pacer_.schedule(reply, frame.firstByte, now, late ? options_.lateBy : std::chrono::milliseconds{})) {
        outboxBytes_ += chunk.bytes.size();
        outbox_.push_back(std::move(chunk));
        answerOf_.push_back(answers_);
    }
}

Bytes SimulatedSensor::answer(const Bytes& frame, Clock::time_point now)
{
    const std::uint16_t order = frameOrder(frame);
    ++received_[order];
    if (options_.verbose) {
        std::fprintf(stderr, "korva-sensor-sim: order %u received\n", unsigned{order});
        std::fflush(stderr);
    }
    lastWords_ = frameWords(frame);
    if (options_.faults.drops(++commandNumber_))
        return {};
    const double t = std::chrono::duration<double>(now - epoch_).count();
    Bytes reply = engine_.handle(frame, t);
    if (options_.numbered && order == Measure)
        setFrameWord(reply, 2, ++recordNumber_);
    saveEepromIfWritten(order);
    options_.faults.apply(order, reply);
    return reply;
}

// A failed save must not stop the sensor; it is reported and the set stays in memory.
void SimulatedSensor::saveEepromIfWritten(std::uint16_t order)
{
    if (order != WriteEeprom || !eepromKept_)
        return;
    try {
        saveEeprom(options_.eepromFile, engine_.eeprom());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korva-sensor-sim: %s\n", e.what());
    }
}

}  // namespace korva::sim
