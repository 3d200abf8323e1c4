// Pseudo-terminals for the serial-port tests: the port under test opens the slave side by its
// path, the test plays the device on the master side.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace korva::test {

class PseudoTerminal {
public:
    // Opens a new pseudo-terminal with its slave side in raw mode (no echo, no line editing) and
    // a non-blocking master.
    PseudoTerminal()
    {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0)
            return;
        termios raw{};
        ::tcgetattr(slave, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave, TCSANOW, &raw);
        ::close(slave);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        slavePath_ = QByteArray(name);
    }
    ~PseudoTerminal() { HangUp(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool IsOpen() const { return master_ >= 0; }
    const QByteArray& SlavePath() const { return slavePath_; }

    // The device sends bytes to the port.
    bool Send(const QByteArray& bytes) const
    {
        return ::write(master_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // The device sends all the bytes, waiting while the line is full; false when it cannot.
    bool SendAll(const QByteArray& bytes) const
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.constData() + sent, static_cast<size_t>(bytes.size() - sent));
            if (n > 0) {
                sent += n;
                continue;
            }
            pollfd writable{master_, POLLOUT, 0};
            if (n < 0 && errno != EAGAIN)
                return false;
            ::poll(&writable, 1, 100);
        }
        return true;
    }

    // Everything the port has sent so far and the device has not taken yet.
    QByteArray Receive() const
    {
        QByteArray received;
        char chunk[512];
        ssize_t n = 0;
        while ((n = ::read(master_, chunk, sizeof chunk)) > 0)
            received.append(chunk, n);
        return received;
    }

    // The device goes away, like a pulled cable: the slave side is hung up.
    void HangUp()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    QByteArray slavePath_;
};

}  // namespace korva::test
