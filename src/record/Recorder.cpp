// The record file: rows formatted straight into a fixed buffer, written with the platform's calls
// for files written row by row.
#include "record/Recorder.h"

#include "runtime.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string_view>

namespace korva {

namespace {

constexpr std::string_view TIME_COLUMNS = "time,seconds,";

}  // namespace

bool Recorder::Open(const char* path, std::string_view wordNames, RecordTime start)
{
    if (!Reset(wordNames))
        return false;
    stream_ = false;
    if (!OpenRegularFile(path))
        return false;
    path_ = path;
    return Start(wordNames, start);
}

bool Recorder::OpenStream(int fd, std::string_view wordNames, RecordTime start)
{
    if (!Reset(wordNames))
        return false;
    if (fd < 0)
        return Fail(RecordFault::CannotOpen, EBADF);
    fd_ = fd;
    stream_ = true;
    path_.clear();
    return Start(wordNames, start);
}

// A file still open is closed and the last fault forgotten. A CSV header has one column more than
// it has commas: more than a row holds, or more than the buffer, is refused.
bool Recorder::Reset(std::string_view wordNames)
{
    Close();
    fault_ = RecordFault::None;
    faultErrno_ = 0;
    words_ = static_cast<int>(std::count(wordNames.begin(), wordNames.end(), ',') + 1);
    if (words_ > MAX_WORDS || TIME_COLUMNS.size() + wordNames.size() + 1 > BUFFER_SIZE)
        return Fail(RecordFault::CannotOpen, EINVAL);
    return true;
}

// The header written, the rows begin.
bool Recorder::Start(std::string_view wordNames, RecordTime start)
{
    header_ = std::string(TIME_COLUMNS) + std::string(wordNames) + "\n";
    written_ = 0;
    used_ = 0;
    restarted_ = false;
    start_ = start.steady;
    lastWrite_ = start.steady;
    return WriteRows(header_.data(), header_.size());
}

// The file is emptied only once it is known to be a regular file.
bool Recorder::OpenRegularFile(const char* path)
{
    bool notAFile = false;
    int error = 0;
    fd_ = OpenRowFile(path, &notAFile, &error);
    if (fd_ < 0)
        return Fail(notAFile ? RecordFault::NotAFile : RecordFault::CannotOpen, error);
    if (const int cut = CutRowFile(fd_, 0); cut != 0)
        return Fail(RecordFault::CannotOpen, cut);
    return true;
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
    for (int i = 0; i < words_; ++i) {
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
    // A pipe or a terminal cannot be forced to a disk; a file behind a stream can.
    if (const int error = SyncRowFile(fd_); error != 0 && !(stream_ && error == EINVAL))
        return Fail(RecordFault::WriteFailed, error);
    if (const int error = Stop(); error != 0)
        return Fail(RecordFault::WriteFailed, error);
    return true;
}

// Writes to a file that was deleted, renamed away or whose file system was lazily unmounted all
// succeed and reach no one, so before each write the open file must still be the one at the path.
// `error` is the errno when nothing is at the path, else 0.
bool Recorder::FileIsGone(int& error) const
{
    error = 0;
    if (stream_)
        return false;
    const int still = RowFileStillAt(fd_, path_);
    error = still > 0 ? still : 0;
    return still != 0;
}

// A file cut short in place by someone else (logrotate's copytruncate) is smaller than what was
// written to it. The writes append, so the rows go on at its new end: after a fresh header, so
// that the file reads as a recording of its own.
bool Recorder::WasCutShort() const
{
    if (stream_)
        return false;
    const int64_t size = RowFileSize(fd_);
    return size >= 0 && size < written_;
}

bool Recorder::WriteBuffer()
{
    int error = 0;
    if (FileIsGone(error))
        return Fail(RecordFault::FileGone, error);
    if (WasCutShort()) {
        written_ = RowFileSize(fd_);
        restarted_ = true;
        if (!WriteRows(header_.data(), header_.size()))
            return false;
    }
    if (!WriteRows(buffer_, used_))
        return false;
    used_ = 0;
    return true;
}

// `data` holds whole rows, so after a failed write the file is cut back to the last line end among
// the bytes that did reach it (to where this write began when none did).
bool Recorder::WriteRows(const char* data, std::size_t size)
{
    int error = 0;
    const std::size_t done = WriteRowFile(fd_, data, size, &error);
    if (done < size) {
        const std::size_t keep = std::string_view(data, done).rfind('\n') + 1;  // npos + 1 is 0
        // Cutting back fails only when the disk itself has gone; recording stops either way.
        [[maybe_unused]] const int cut = CutRowFile(fd_, written_ + static_cast<int64_t>(keep));
        return Fail(RecordFault::WriteFailed, error);
    }
    written_ += static_cast<int64_t>(size);
    return true;
}

bool Recorder::TakeRestartNotice()
{
    const bool restarted = restarted_;
    restarted_ = false;
    return restarted;
}

int Recorder::Stop()
{
    const int error = stream_ ? 0 : CloseRowFile(fd_);
    fd_ = -1;
    used_ = 0;
    return error;
}

// Stops recording (when a file is open) and keeps why; false, for the failing call to return.
bool Recorder::Fail(RecordFault fault, int error)
{
    if (IsOpen())
        Stop();
    fault_ = fault;
    faultErrno_ = error;
    return false;
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
