// Serial lines for the tests on real pseudo-terminals: one end of a line, and a scripted sensor on a
// line of its own. Frames are written with the simulated sensor's encoder, independent of the
// program's.
#pragma once

#include "protocol.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korva::test {

using sim::Bytes;
using namespace std::chrono_literals;

// One end of a serial line, raw (no echo, no line editing) and non-blocking.
class Pty {
public:
    // A new pseudo-terminal, held from the device's side; the port under test opens DevicePath().
    Pty();
    // The terminal at `path` (the simulated sensor's device), held from the PC's side.
    explicit Pty(const std::string& path);
    ~Pty() { Close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    const std::string& DevicePath() const { return devicePath_; }

    // Writes what the line takes without waiting (`bytes`: any buffer of bytes or chars); returns
    // how many bytes that was.
    template <class Buffer>
    size_t SendSome(const Buffer& bytes)
    {
        return Write(bytes.data(), static_cast<size_t>(bytes.size()), false);
    }
    // Writes all of `bytes`, waiting while the line is full; false when it cannot.
    template <class Buffer>
    bool Send(const Buffer& bytes)
    {
        return Write(bytes.data(), static_cast<size_t>(bytes.size()), true) == static_cast<size_t>(bytes.size());
    }
    // Reads until `count` bytes have come or `wait` has passed; by default what is there now.
    Bytes Receive(size_t count = SIZE_MAX, std::chrono::milliseconds wait = 0ms);
    // Sends a command frame and reads up to `answerBytes` bytes of answer.
    Bytes Exchange(uint16_t order, const sim::Words& words = {}, size_t answerBytes = sim::kFrameBytes,
                   std::chrono::milliseconds wait = 2000ms);
    // Closes this end; on the device's side the port under test sees a hang-up, like a pulled cable.
    void Close();

private:
    size_t Write(const void* data, size_t size, bool waitWhileFull);

    int fd_ = -1;
    int slave_ = -1;  // held open, so the line stays up while the port under test closes and reopens
    std::string devicePath_;
};

// A sensor stand-in for tests that need exact control over what comes back: a thread of its own
// reads command frames and answers each with whatever the script returns (any number of bytes,
// also none).
class ScriptedPeer {
public:
    using Script = std::function<Bytes(const Bytes& command)>;

    explicit ScriptedPeer(Script script = {});
    ~ScriptedPeer() { Close(); }
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& path() const { return line_.DevicePath(); }
    void SetScript(Script script);
    // Bytes sent to the program outside of any answer.
    void Send(const Bytes& bytes) { line_.Send(bytes); }
    std::vector<Bytes> Commands() const;
    void ClearCommands();
    // Pulls the cable: the device goes away and the program's side sees a hang-up.
    void Close();

private:
    void Serve();
    void Answer(const Bytes& command);

    Pty line_;
    mutable std::mutex mutex_;
    Script script_;
    std::vector<Bytes> commands_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace korva::test
