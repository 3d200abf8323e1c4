#include "ptyclient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace korva::simtest {

PtyClient::PtyClient(const std::string& path)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
{
    if (fd_ < 0)
        return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
}

PtyClient::~PtyClient()
{
    close();
}

void PtyClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool PtyClient::send(const Bytes& bytes)
{
    return sendSome(bytes) == bytes.size();
}

std::size_t PtyClient::sendSome(const Bytes& bytes)
{
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    return n > 0 ? std::size_t(n) : 0;
}

Bytes PtyClient::receive(std::size_t count, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    Bytes got;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd pfd{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, int(left.count()) + 1) <= 0)
            break;
        std::uint8_t buffer[512];
        const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

Bytes PtyClient::exchange(std::uint16_t order, const Words& words, std::size_t answerBytes,
                          std::chrono::milliseconds timeout)
{
    if (!send(korva::sim::encodeFrame(order, words)))
        return {};
    return receive(answerBytes, timeout);
}

}  // namespace korva::simtest
