#include "support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace korva::test {

namespace {

void MakeRaw(int fd)
{
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
}

}  // namespace

Pty::Pty()
{
    char name[256] = {};
    if (openpty(&fd_, &slave_, name, nullptr, nullptr) != 0)
        return;
    MakeRaw(slave_);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
    devicePath_ = name;
}

Pty::Pty(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (fd_ < 0)
        return;
    MakeRaw(fd_);
    tcflush(fd_, TCIOFLUSH);
}

void Pty::Close()
{
    for (int* fd : {&fd_, &slave_})
        if (*fd >= 0)
            close(std::exchange(*fd, -1));
}

size_t Pty::Write(const void* data, size_t size, bool waitWhileFull)
{
    const auto* bytes = static_cast<const char*>(data);
    size_t sent = 0;
    while (sent < size) {
        const ssize_t n = write(fd_, bytes + sent, size - sent);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (!waitWhileFull || (n < 0 && errno != EAGAIN))
            break;
        pollfd writable{fd_, POLLOUT, 0};
        poll(&writable, 1, 100);
    }
    return sent;
}

Bytes Pty::Receive(size_t count, std::chrono::milliseconds wait)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + wait;
    Bytes got;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd readable{fd_, POLLIN, 0};
        if (poll(&readable, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0)
            break;
        uint8_t buffer[512];
        const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

Bytes Pty::Exchange(uint16_t order, const sim::Words& words, size_t answerBytes, std::chrono::milliseconds wait)
{
    if (!Send(sim::encodeFrame(order, words)))
        return {};
    return Receive(answerBytes, wait);
}

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script))
{
    if (line_.IsOpen())
        thread_ = std::thread([this] { Serve(); });
}

void ScriptedPeer::SetScript(Script script)
{
    std::lock_guard lock(mutex_);
    script_ = std::move(script);
}

std::vector<Bytes> ScriptedPeer::Commands() const
{
    std::lock_guard lock(mutex_);
    return commands_;
}

void ScriptedPeer::ClearCommands()
{
    std::lock_guard lock(mutex_);
    commands_.clear();
}

void ScriptedPeer::Close()
{
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    line_.Close();
}

// Collects the bytes of one command frame at a time, looking at the stop request between reads.
void ScriptedPeer::Serve()
{
    Bytes command;
    while (!stopping_) {
        const Bytes got = line_.Receive(sim::kFrameBytes - command.size(), 20ms);
        command.insert(command.end(), got.begin(), got.end());
        if (command.size() == sim::kFrameBytes)
            Answer(std::exchange(command, {}));
    }
}

void ScriptedPeer::Answer(const Bytes& command)
{
    Bytes reply;
    {
        std::lock_guard lock(mutex_);
        commands_.push_back(command);
        if (script_)
            reply = script_(command);
    }
    line_.Send(reply);
}

}  // namespace korva::test
