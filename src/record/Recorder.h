// The record file: every measurement record drawn while recording is on becomes one CSV row of its
// wall time, the seconds since recording began and the record words named at Open. Rows are
// collected in a fixed buffer and written to the file once a second has passed since the last
// write, when the buffer is full, on Flush and on Close, so a crash of the program loses at most
// the last second. The file is written with the platform's calls for files written row by row, the same on
// every system; only Open allocates (it keeps the path, to check at every write that the file is
// still there, and the header, for a file cut short in place).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

namespace korva {

// The moment a record is taken: the wall time printed in its row and the steady time from which
// the seconds column and the once-a-second writes are measured.
struct RecordTime {
    std::chrono::system_clock::time_point wall;
    std::chrono::steady_clock::time_point steady;

    static RecordTime Now() { return {std::chrono::system_clock::now(), std::chrono::steady_clock::now()}; }
};

// Why recording stopped or could not start, for the operator's message.
enum class RecordFault {
    None,
    NotAFile,     // the path names a folder, a device, a FIFO or the like: never opened, never emptied
    CannotOpen,   // the file could not be opened, created or emptied
    WriteFailed,  // writing, forcing to the disk or closing failed (a full disk, a pulled stick)
    FileGone,     // the file was deleted, renamed away or its file system unmounted while recording
};

class Recorder {
public:
    Recorder() = default;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder() { Close(); }

    // Creates (or empties) the regular file at `path` (a symbolic link to one will do) and writes
    // the header line to it at once: "time,seconds," and `wordNames`, the comma-separated names of
    // the record words each row holds, one to MAX_WORDS of them. `start` is second 0 of the seconds
    // column. A file still open is closed first. Returns false when the path names anything but a
    // regular file or a new name, when the file cannot be created or the header cannot be written
    // (the file is then left empty), or when `wordNames` names more than MAX_WORDS words or is
    // longer than the buffer (CannotOpen with EINVAL, the path untouched); nothing is recorded.
    // Never blocks, not even on a FIFO.
    bool Open(const char* path, std::string_view wordNames, RecordTime start);
    // The same rows to an open descriptor that is no file of a path (standard output, a pipe): the
    // header at once, the rows as Open's. There is no path to check and no size to compare, Close
    // forces to the disk only what can be forced and leaves the descriptor open.
    bool OpenStream(int fd, std::string_view wordNames, RecordTime start);

    // Adds the row of `words` (as many as Open named) taken at `time`, and writes the collected
    // rows when a second has passed since the last write or the buffer is full. Returns false when
    // a write fails: the file is then cut back to its last whole row and closed, and recording has
    // stopped. Before each write the file is checked to be still the one at the path; when it has
    // been deleted, renamed away or unmounted, recording stops and this returns false as well.
    // When it has been cut short in place (logrotate's copytruncate), the rows go on at its end
    // after a fresh header (see TakeRestartNotice). Does nothing and returns false when no file is
    // open.
    bool Append(const uint16_t* words, RecordTime time);

    // Writes the collected rows now, for a pause in the records (the end of a Run or a Data loop).
    // A failure stops recording as in Append. Returns true when no file is open.
    bool Flush();

    // Writes the collected rows, forces the file to the disk and closes it. Returns false when any
    // of it fails (the file then ends with a whole row as far as the disk allows). Closing a
    // recorder that is not open returns true.
    bool Close();

    bool IsOpen() const { return fd_ >= 0; }

    // True once after the file was found cut short and the recording went on from a fresh header.
    bool TakeRestartNotice();

    // Why the last Open, Append, Flush or Close failed, with the system's errno (for strerror) or 0
    // where the system gave none. Back to None at a successful Open.
    RecordFault Fault() const { return fault_; }
    int FaultErrno() const { return faultErrno_; }

    // The most words a row holds, and enough for the longest row: 23 characters of time, a 64-bit
    // seconds count with three decimals, MAX_WORDS words of five digits, the separators and the
    // line end.
    static constexpr int MAX_WORDS = 13;
    static constexpr std::size_t MAX_ROW = 128;
    static_assert(23 + 1 + 20 + 4 + MAX_WORDS * (1 + 5) + 1 <= MAX_ROW);
    static constexpr std::size_t BUFFER_SIZE = 64 * 1024;

private:
    bool Reset(std::string_view wordNames);
    bool Start(std::string_view wordNames, RecordTime start);
    bool OpenRegularFile(const char* path);
    bool FileIsGone(int& error) const;
    bool WasCutShort() const;
    bool WriteBuffer();
    bool WriteRows(const char* data, std::size_t size);
    int Stop();
    bool Fail(RecordFault fault, int error);
    void PutText(const char* text, std::size_t length);
    void PutNumber(uint64_t value);
    void PutFraction(uint64_t thousandths);
    void PutWallTime(std::chrono::system_clock::time_point wall);

    int fd_ = -1;
    std::string path_;    // as given to Open; empty for a stream
    bool stream_ = false;
    std::string header_;  // the file's first line
    bool restarted_ = false;
    RecordFault fault_ = RecordFault::None;
    int faultErrno_ = 0;
    int words_ = 0;  // record words in a row, as named at Open
    int64_t written_ = 0;  // bytes on the file, always whole lines
    std::chrono::steady_clock::time_point start_{};
    std::chrono::steady_clock::time_point lastWrite_{};
    std::size_t used_ = 0;
    char buffer_[BUFFER_SIZE];
    // "YYYY-MM-DDTHH:MM:SS" of the wall-clock second seen last, so a row formats only its
    // milliseconds while the second lasts.
    std::time_t cachedSecond_ = std::numeric_limits<std::time_t>::min();
    char cachedStamp_[20] = {};
    std::size_t cachedLength_ = 0;
};

}  // namespace korva
