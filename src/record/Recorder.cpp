// The record file: rows formatted straight into a fixed buffer, written with plain POSIX calls.
#include "record/Recorder.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>

namespace korva {

namespace {

constexpr std::string_view TIME_COLUMNS = "time,seconds,";

// Writes `length` bytes, going on after short writes and interruptions. Returns how many bytes
// reached the file before a write failed.
std::size_t WriteAll(int fd, const char* data, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, data + done, length - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EINTR)
            break;
    }
    return done;
}

}  // namespace

bool Recorder::Open(const char* path, RecordTime start)
{
    Close();
    fd_ = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return false;
    written_ = 0;
    used_ = 0;
    start_ = start.steady;
    lastWrite_ = start.steady;
    PutText(TIME_COLUMNS.data(), TIME_COLUMNS.size());
    const std::string_view words = RECORD_WORDS_HEADER;
    PutText(words.data(), words.size());
    PutText("\n", 1);
    return WriteBuffer();
}

bool Recorder::Append(const uint16_t* words, RecordTime time)
{
    if (!IsOpen())
        return false;
    if (BUFFER_SIZE - used_ < MAX_ROW && !WriteBuffer())
        return false;
    PutWallTime(time.wall);
    buffer_[used_++] = ',';
    const auto sinceStart = std::chrono::duration_cast<std::chrono::milliseconds>(time.steady - start_);
    PutNumber(static_cast<uint64_t>(sinceStart.count()) / 1000);
    PutFraction(static_cast<uint64_t>(sinceStart.count()) % 1000);
    for (int i = 0; i < RECORD_WORDS; ++i) {
        buffer_[used_++] = ',';
        PutNumber(words[i]);
    }
    buffer_[used_++] = '\n';
    if (time.steady - lastWrite_ < std::chrono::seconds(1))
        return true;
    lastWrite_ = time.steady;
    return WriteBuffer();
}

bool Recorder::Flush()
{
    return !IsOpen() || WriteBuffer();
}

// Forcing the data to the disk is left to the close: a crash of the program loses nothing that
// write() has taken, and an fsync every second would stall the run on a slow stick.
bool Recorder::Close()
{
    if (!IsOpen())
        return true;
    if (!WriteBuffer())
        return false;
    const bool synced = fsync(fd_) == 0;
    return Stop() && synced;
}

// The buffer always holds whole rows, so after a failed write the file is cut back to the last
// line end among the bytes that did reach it (to where this write began when none did).
bool Recorder::WriteBuffer()
{
    const std::size_t done = WriteAll(fd_, buffer_, used_);
    if (done < used_) {
        const std::size_t keep = std::string_view(buffer_, done).rfind('\n') + 1;  // npos + 1 is 0
        // Cutting back fails only when the disk itself has gone; recording stops either way.
        [[maybe_unused]] const int cut = ftruncate(fd_, written_ + static_cast<off_t>(keep));
        Stop();
        return false;
    }
    written_ += static_cast<off_t>(used_);
    used_ = 0;
    return true;
}

bool Recorder::Stop()
{
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    used_ = 0;
    return closed;
}

void Recorder::PutText(const char* text, std::size_t length)
{
    std::copy(text, text + length, buffer_ + used_);
    used_ += length;
}

void Recorder::PutNumber(uint64_t value)
{
    used_ = static_cast<std::size_t>(std::to_chars(buffer_ + used_, buffer_ + BUFFER_SIZE, value).ptr - buffer_);
}

// ".mmm" for 0 to 999 thousandths.
void Recorder::PutFraction(uint64_t thousandths)
{
    buffer_[used_++] = '.';
    buffer_[used_++] = static_cast<char>('0' + thousandths / 100);
    buffer_[used_++] = static_cast<char>('0' + thousandths / 10 % 10);
    buffer_[used_++] = static_cast<char>('0' + thousandths % 10);
}

// Local time as YYYY-MM-DDTHH:MM:SS.mmm; the calendar part is worked out once per second.
void Recorder::PutWallTime(std::chrono::system_clock::time_point wall)
{
    const auto second = std::chrono::floor<std::chrono::seconds>(wall);
    const std::time_t t = std::chrono::system_clock::to_time_t(second);
    if (t != cachedSecond_) {
        std::tm local{};
        localtime_r(&t, &local);
        cachedLength_ = std::strftime(cachedStamp_, sizeof cachedStamp_, "%Y-%m-%dT%H:%M:%S", &local);
        cachedSecond_ = t;
    }
    PutText(cachedStamp_, cachedLength_);
    PutFraction(static_cast<uint64_t>(std::chrono::floor<std::chrono::milliseconds>(wall - second).count()));
}

}  // namespace korva
