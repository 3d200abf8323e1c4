// The PC side of a serial line for the simulator's tests: opens a terminal device with
// open(2), raw mode through termios, and reads with time limits.
#pragma once

#include "protocol.h"

#include <chrono>
#include <string>

namespace korva::simtest {

using korva::sim::Bytes;
using korva::sim::Words;
using namespace std::chrono_literals;

class PtyClient {
public:
    explicit PtyClient(const std::string& path);
    ~PtyClient();
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void close();

    bool send(const Bytes& bytes);
    // Writes what the device takes without waiting; returns how many bytes that was.
    std::size_t sendSome(const Bytes& bytes);
    // Reads until `count` bytes have come or `timeout` has passed; returns what came.
    Bytes receive(std::size_t count, std::chrono::milliseconds timeout = 2000ms);
    // Sends a command frame and reads up to `answerBytes` bytes of answer.
    Bytes exchange(std::uint16_t order, const Words& words = {}, std::size_t answerBytes = 36,
                   std::chrono::milliseconds timeout = 2000ms);

private:
    int fd_ = -1;
};

}  // namespace korva::simtest
