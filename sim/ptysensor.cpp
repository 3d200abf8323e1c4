#include "ptysensor.h"

#include "eepromfile.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace korva::sim {

namespace {

std::runtime_error systemError(const std::string& what)
{
    return std::runtime_error(what + ": " + std::strerror(errno));
}

void closeFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void addFlags(int fd, int statusFlags)
{
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | statusFlags);
}

std::string slaveName(int slave)
{
    std::array<char, PATH_MAX> name{};
    if (::ttyname_r(slave, name.data(), name.size()) != 0)
        throw systemError("cannot name the pseudo-terminal");
    return name.data();
}

timespec toTimespec(std::chrono::nanoseconds d)
{
    const auto ns = std::max<long long>(d.count(), 0);
    return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

PtySensor::PtySensor(SensorOptions options)
    : options_(std::move(options)),
      engine_(options_.seed),
      pacer_(options_.pacing, options_.latency)
{
}

PtySensor::~PtySensor()
{
    stop();
}

void PtySensor::start()
{
    if (thread_.joinable())
        return;
    if (!options_.eepromFile.empty()) {
        if (const auto stored = loadEeprom(options_.eepromFile))
            engine_ = SensorEngine(options_.seed, *stored);
    }
    try {
        openTerminal();
        makeLink();
    } catch (...) {
        closeAll();
        throw;
    }
    epoch_ = Clock::now();
    thread_ = std::thread(&PtySensor::serve, this);
}

void PtySensor::stop()
{
    if (thread_.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const auto n = ::write(wakeWrite_, &wake, 1);
        thread_.join();
    }
    removeLink();
    closeAll();
}

// The slave is put in raw mode and stays open here: when the PC side closes the device the
// master sees no hang-up, and bytes already queued wait for the next open.
void PtySensor::openTerminal()
{
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        throw systemError("cannot open a pseudo-terminal");
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B19200);
    ::tcsetattr(slave_, TCSANOW, &tio);
    addFlags(master_, O_NONBLOCK);
    addFlags(slave_, 0);
    devicePath_ = slaveName(slave_);
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0)
        throw systemError("cannot create a pipe");
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
}

// The link is made beside its final name and renamed over it, which replaces an old link.
void PtySensor::makeLink()
{
    if (options_.linkPath.empty())
        return;
    const std::string temp = options_.linkPath + ".new";
    ::unlink(temp.c_str());
    if (::symlink(devicePath_.c_str(), temp.c_str()) != 0)
        throw systemError("cannot create the link " + temp);
    if (::rename(temp.c_str(), options_.linkPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw systemError("cannot create the link " + options_.linkPath);
    }
}

// Removes the link only while it still points to this sensor's device.
void PtySensor::removeLink()
{
    if (options_.linkPath.empty() || devicePath_.empty())
        return;
    std::array<char, PATH_MAX> target{};
    const ssize_t n = ::readlink(options_.linkPath.c_str(), target.data(), target.size() - 1);
    if (n > 0 && devicePath_ == std::string(target.data(), std::size_t(n)))
        ::unlink(options_.linkPath.c_str());
}

void PtySensor::closeAll()
{
    closeFd(master_);
    closeFd(slave_);
    closeFd(wakeRead_);
    closeFd(wakeWrite_);
}

Words PtySensor::ram() const
{
    std::lock_guard lock(mutex_);
    return engine_.ram();
}

Words PtySensor::eeprom() const
{
    std::lock_guard lock(mutex_);
    return engine_.eeprom();
}

std::uint64_t PtySensor::commandsReceived(std::uint16_t order) const
{
    std::lock_guard lock(mutex_);
    const auto it = received_.find(order);
    return it == received_.end() ? 0 : it->second;
}

Words PtySensor::lastCommandWords() const
{
    std::lock_guard lock(mutex_);
    return lastWords_;
}

void PtySensor::serve()
{
    while (waitForWork()) {
        const Clock::time_point now = Clock::now();
        readInput(now);
        noteHeld();
        assembler_.expire(now);
        sendDue(now);
    }
}

// Sleeps until input arrives, the master can take more output after a full buffer, the next
// chunk is due or a partial frame expires. Returns false when asked to stop.
bool PtySensor::waitForWork()
{
    const short events = short((takesInput() ? POLLIN : 0) | (writeBlocked_ ? POLLOUT : 0));
    std::array<pollfd, 2> fds{{{master_, events, 0},
                               {wakeRead_, POLLIN, 0}}};
    const auto deadline = nextDeadline();
    timespec timeout{};
    if (deadline)
        timeout = toTimespec(*deadline - Clock::now());
    if (::ppoll(fds.data(), fds.size(), deadline ? &timeout : nullptr, nullptr) < 0 && errno != EINTR)
        return false;
    if (fds[0].revents & POLLOUT)
        writeBlocked_ = false;
    return fds[1].revents == 0;
}

std::optional<Clock::time_point> PtySensor::nextDeadline() const
{
    std::optional<Clock::time_point> next = assembler_.deadline();
    if (!outbox_.empty() && !writeBlocked_ && (!next || outbox_.front().due < *next))
        next = outbox_.front().due;
    return next;
}

// Input is taken while the outbox has room, and always to the end of a partial frame, so that a
// frame is never dropped for bytes that were left waiting in the device.
bool PtySensor::takesInput() const
{
    return outboxBytes_ < kOutboxLimit || assembler_.pendingBytes() > 0;
}

// Reads no further than the end of the frame being assembled, so that a full outbox stops the
// input between two commands and one pass adds at most one answer beyond the limit.
void PtySensor::readInput(Clock::time_point now)
{
    std::array<std::uint8_t, kFrameBytes> buffer{};
    for (std::size_t taken = 0; taken < kInputPerPass && takesInput();) {
        const ssize_t n = ::read(master_, buffer.data(), kFrameBytes - assembler_.pendingBytes());
        if (n <= 0)
            return;
        taken += std::size_t(n);
        for (const auto& frame : assembler_.feed({buffer.data(), std::size_t(n)}, now))
            handleFrame(frame, now);
    }
}

void PtySensor::noteHeld()
{
    const std::size_t held = outboxBytes_ + assembler_.pendingBytes();
    if (held > mostHeld_)
        mostHeld_ = held;
}

void PtySensor::handleFrame(const FrameAssembler::Frame& frame, Clock::time_point now)
{
    const Bytes reply = answer(frame.bytes, now);
    for (auto& chunk : pacer_.schedule(reply, frame.firstByte, now)) {
        outboxBytes_ += chunk.bytes.size();
        outbox_.push_back(std::move(chunk));
    }
}

Bytes PtySensor::answer(const Bytes& frame, Clock::time_point now)
{
    const std::uint16_t order = frameOrder(frame);
    std::lock_guard lock(mutex_);
    ++received_[order];
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
void PtySensor::saveEepromIfWritten(std::uint16_t order)
{
    if (order != WriteEeprom || options_.eepromFile.empty())
        return;
    try {
        saveEeprom(options_.eepromFile, engine_.eeprom());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korva-sensor-sim: %s\n", e.what());
    }
}

// Writes every chunk that is due. A full pty buffer keeps the rest for when the master
// becomes writable again.
void PtySensor::sendDue(Clock::time_point now)
{
    while (!writeBlocked_ && !outbox_.empty() && outbox_.front().due <= now) {
        Bytes& bytes = outbox_.front().bytes;
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n < 0) {
            writeBlocked_ = errno == EAGAIN;
            if (!writeBlocked_)
                dropFront();   // nothing else can be done with an unwritable answer
            continue;
        }
        bytes.erase(bytes.begin(), bytes.begin() + n);
        outboxBytes_ -= std::size_t(n);
        if (bytes.empty())
            outbox_.pop_front();
        else
            writeBlocked_ = true;
    }
}

void PtySensor::dropFront()
{
    outboxBytes_ -= outbox_.front().bytes.size();
    outbox_.pop_front();
}

}  // namespace korva::sim
