#include "ptysensor.h"

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

PtySensor::PtySensor(SensorOptions options) : linkPath_(options.linkPath), sensor_(std::move(options)) {}

PtySensor::~PtySensor()
{
    stop();
}

void PtySensor::start()
{
    if (thread_.joinable())
        return;
    try {
        sensor_.start();
        openTerminal();
        makeLink();
    } catch (...) {
        closeAll();
        throw;
    }
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
    if (linkPath_.empty())
        return;
    const std::string temp = linkPath_ + ".new";
    ::unlink(temp.c_str());
    if (::symlink(devicePath_.c_str(), temp.c_str()) != 0)
        throw systemError("cannot create the link " + temp);
    if (::rename(temp.c_str(), linkPath_.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw systemError("cannot create the link " + linkPath_);
    }
}

// Removes the link only while it still points to this sensor's device.
void PtySensor::removeLink()
{
    if (linkPath_.empty() || devicePath_.empty())
        return;
    std::array<char, PATH_MAX> target{};
    const ssize_t n = ::readlink(linkPath_.c_str(), target.data(), target.size() - 1);
    if (n > 0 && devicePath_ == std::string(target.data(), std::size_t(n)))
        ::unlink(linkPath_.c_str());
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
    return sensor_.ram();
}

Words PtySensor::eeprom() const
{
    std::lock_guard lock(mutex_);
    return sensor_.eeprom();
}

std::uint64_t PtySensor::commandsReceived(std::uint16_t order) const
{
    std::lock_guard lock(mutex_);
    return sensor_.commandsReceived(order);
}

Words PtySensor::lastCommandWords() const
{
    std::lock_guard lock(mutex_);
    return sensor_.lastCommandWords();
}

void PtySensor::serve()
{
    while (waitForWork()) {
        const Clock::time_point now = Clock::now();
        readInput(now);
        sensor_.expire(now);
        sendDue(now);
    }
}

// Sleeps until input arrives, the master can take more output after a full buffer, the next
// chunk is due or a partial frame expires. Returns false when asked to stop.
bool PtySensor::waitForWork()
{
    const short events = short((sensor_.takesInput() ? POLLIN : 0) | (writeBlocked_ ? POLLOUT : 0));
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
    std::optional<Clock::time_point> next = sensor_.partialFrameDeadline();
    const auto answer = sensor_.nextAnswerDue();
    if (answer && !writeBlocked_ && (!next || *answer < *next))
        next = answer;
    return next;
}

// Reads no further than the end of the frame being assembled, so that a full outbox stops the
// input between two commands and one pass adds at most one answer beyond the limit.
void PtySensor::readInput(Clock::time_point now)
{
    std::array<std::uint8_t, kFrameBytes> buffer{};
    for (std::size_t taken = 0; taken < kInputPerPass && sensor_.takesInput();) {
        const ssize_t n = ::read(master_, buffer.data(), sensor_.frameRoom());
        if (n <= 0)
            return;
        taken += std::size_t(n);
        std::lock_guard lock(mutex_);
        sensor_.receive({buffer.data(), std::size_t(n)}, now);
    }
}

// Writes every chunk that is due. A full pty buffer keeps the rest for when the master
// becomes writable again.
void PtySensor::sendDue(Clock::time_point now)
{
    while (!writeBlocked_) {
        const std::span<const std::uint8_t> bytes = sensor_.due(now);
        if (bytes.empty())
            return;
        const ssize_t n = ::write(master_, bytes.data(), bytes.size());
        if (n < 0) {
            writeBlocked_ = errno == EAGAIN;
            if (!writeBlocked_)
                sensor_.dropFront();   // nothing else can be done with an unwritable answer
            continue;
        }
        const bool whole = std::size_t(n) == bytes.size();
        sensor_.sent(std::size_t(n));
        if (!whole)
            writeBlocked_ = true;
    }
}

}  // namespace korva::sim
