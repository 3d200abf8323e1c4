// A sensor stand-in for tests that need exact control over what comes back: it owns a
// pseudo-terminal, reads 36-byte command frames on a thread of its own and answers each with
// whatever the test's script returns (any number of bytes, also none).
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korva::test {

using Bytes = std::vector<uint8_t>;

// An answer frame: a 4-byte header and sixteen big-endian words.
inline Bytes AnswerFrame(const std::vector<uint16_t>& words, uint16_t order = 0)
{
    Bytes frame{0x00, 0x55, static_cast<uint8_t>(order >> 8), static_cast<uint8_t>(order)};
    for (size_t i = 0; i < 16; ++i) {
        const uint16_t w = i < words.size() ? words[i] : 0;
        frame.push_back(static_cast<uint8_t>(w >> 8));
        frame.push_back(static_cast<uint8_t>(w));
    }
    return frame;
}

inline uint16_t FrameOrder(const Bytes& frame)
{
    return static_cast<uint16_t>(frame[2] << 8 | frame[3]);
}

inline uint16_t FrameWord(const Bytes& frame, int i)
{
    return static_cast<uint16_t>(frame[4 + 2 * i] << 8 | frame[5 + 2 * i]);
}

class ScriptedPeer {
public:
    using Script = std::function<Bytes(const Bytes& command)>;

    explicit ScriptedPeer(Script script = {}) : script_(std::move(script))
    {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            return;
        termios tio{};
        tcgetattr(slave_, &tio);
        cfmakeraw(&tio);
        tcsetattr(slave_, TCSANOW, &tio);
        path_ = name;
        thread_ = std::thread([this] { Serve(); });
    }

    ~ScriptedPeer() { Close(); }

    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    const std::string& path() const { return path_; }

    void SetScript(Script script)
    {
        std::lock_guard lock(mutex_);
        script_ = std::move(script);
    }

    // Bytes sent to the program outside of any answer.
    void Send(const Bytes& bytes) { WriteAll(bytes); }

    std::vector<Bytes> Commands() const
    {
        std::lock_guard lock(mutex_);
        return commands_;
    }

    void ClearCommands()
    {
        std::lock_guard lock(mutex_);
        commands_.clear();
    }

    // Pulls the cable: the device goes away and the program's side sees a hang-up.
    void Close()
    {
        stopping_ = true;
        if (thread_.joinable())
            thread_.join();
        if (master_ >= 0)
            close(master_);
        if (slave_ >= 0)
            close(slave_);
        master_ = slave_ = -1;
    }

private:
    void Serve()
    {
        Bytes pending;
        while (!stopping_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0)
                continue;
            uint8_t buf[512];
            const ssize_t n = read(master_, buf, sizeof buf);
            if (n <= 0)
                continue;
            pending.insert(pending.end(), buf, buf + n);
            while (pending.size() >= 36) {
                Bytes command(pending.begin(), pending.begin() + 36);
                pending.erase(pending.begin(), pending.begin() + 36);
                Answer(command);
            }
        }
    }

    void Answer(const Bytes& command)
    {
        Bytes reply;
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(command);
            if (script_)
                reply = script_(command);
        }
        WriteAll(reply);
    }

    void WriteAll(const Bytes& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }

    mutable std::mutex mutex_;
    Script script_;
    std::vector<Bytes> commands_;
    std::atomic<bool> stopping_{false};
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread thread_;
};

}  // namespace korva::test
