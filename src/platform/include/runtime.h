// The run-time of the program without any window: application object, event loop, deferred calls,
// periodic tickers, quit signals and files, built on Qt Core alone.
//
// A console program (no panels, no display) starts it with InitRunTime; the program with panels
// starts it with InitUserInterface (userint.h), which includes this header. Everything runs on the
// one thread that started it; deferred calls, tickers and quit signals call back only during event
// processing (RunUserInterface or ProcessSystemEvents).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace korva {

// Negative results of the functions below (userint.h adds those of panels and controls).
enum : int {
    UIE_BAD_ARGUMENT = -4,  // an argument outside what the function accepts
    UIE_FILE_ACCESS = -5,   // a file cannot be opened, read or written
    UIE_FILE_FORMAT = -6,   // a file's content is not what was expected
};

// ---- start-up, event loop -------------------------------------------------------------------------

// Creates the application object of a program without panels, when there is none yet; one made by
// InitUserInterface (or a test harness) is used as it is. Needs no display. From then on a write
// to a pipe whose reader has gone fails (EPIPE) instead of ending the program. Returns 1.
int InitRunTime(int argc, char** argv);

// Runs the event loop until QuitUserInterface; returns the code given to it.
int RunUserInterface();
// Asks the event loop to end. Safe to call from any callback, also from nested event processing.
int QuitUserInterface(int code);
// True once QuitUserInterface has been called and RunUserInterface has not yet returned.
bool QuitRequested();
// Handles every pending event. When none is pending it sleeps until the next event arrives, but
// never longer than a few milliseconds, so polling loops built on it stay light on the CPU and
// never hang.
int ProcessSystemEvents();

// A function the program has handed to the event processing, with its data.
using DeferredCall = void (*)(void* data);
// Calls `call` with `data` once, during event processing after the events already pending, and at
// the earliest `delayMs` milliseconds from now. Returns 0, or a negative number for a null call or
// a negative delay.
int PostDeferredCall(DeferredCall call, void* data, int delayMs = 0);

// A periodic timer: while enabled it calls `call(data)` every `intervalMs` milliseconds during
// event processing. Created stopped. Returns its handle (> 0) or a negative number (null call,
// interval < 1, no application object yet).
int NewTicker(int intervalMs, DeferredCall call, void* data);
// 1 starts it (again from a whole interval), 0 stops it. 0 or a negative number.
int EnableTicker(int ticker, int on);
// Whether it runs: 1 or 0, or a negative number for an unknown handle.
int TickerEnabled(int ticker);

// From now on SIGTERM, SIGINT and SIGHUP call `call(data)` during event processing instead of
// ending the process on the spot; the program then shuts down in its own way. A null call: they
// end the event loop (QuitUserInterface with 0), so a program killed during its start-up never
// enters it. Called again, the call changes. On Windows, Ctrl+C and Ctrl+Break at the console do
// the same.
// Returns 0 or a negative number.
int OnQuitSignals(DeferredCall call, void* data);

// Directory of the executable, without a trailing separator.
std::string GetProjectDir();
// Whether standard error is a terminal (a console on Windows), where progress may be shown.
bool ErrorOutputIsTerminal();

// ---- files --------------------------------------------------------------------------------------

// The user's documents folder when it exists, else the home folder.
std::string GetDocumentsDir();
// True when a file can really be created in `folder`: one with a unique name is made there and
// removed again, since permission bits do not tell (read-only mounts, access lists on Windows).
bool CanWriteIn(const std::string& folder);

// Writes n unsigned numbers to a text file, one per line, right-aligned in a field of `width`
// characters (wider numbers are written whole). The new content replaces the file only once all
// of it is on the disk, so a failed write (a full disk, too) leaves any old file as it was.
// Returns 0 or a negative number.
int ArrayToFile(const std::string& path, const uint32_t* values, size_t n, int width);
// Reads the first n numbers of a text file of unsigned decimal numbers (each below 2^32), one per
// line; blanks around a number, blank lines and CR LF line ends are allowed. Only a regular file
// (also behind symbolic links) of at most 4 KB is read; anything else, such as a FIFO or a
// device, is refused without waiting. Returns 0, or a negative number when the file is refused
// or cannot be read, holds fewer than n numbers or a line that is not such a number; values[] is
// then unchanged.
int FileToArray(const std::string& path, uint32_t* values, size_t n);

// ---- files the program writes row by row (the record file) ------------------------------------
//
// The few calls a file written row by row needs, the same on every system; a file is an integer
// handle. Paths are UTF-8; errors are errno values, for strerror.

// Opens `path` for appending, creating it when it is missing, without emptying it and without ever
// blocking: every write goes to the file's end, also after someone else has cut the file short.
// Only a regular file (also behind a link) or a new name is opened: anything else (a FIFO, a
// device, a folder) is refused, where the system can tell before it is opened, else right after.
// Returns the handle, or -1 with *error set or, for a file that is not a regular one, *notAFile.
int OpenRowFile(const std::string& path, bool* notAFile, int* error);
// The file's size in bytes, or -1.
int64_t RowFileSize(int file);
// Writes `size` bytes, going on after short writes. Returns the count that reached the file before
// a failure (size when all did), with *error that failure's errno or 0. Also for a descriptor that
// is no file (standard output to a pipe or console).
size_t WriteRowFile(int file, const char* data, size_t size, int* error);
// Cuts the file to `size` bytes. 0 or errno.
int CutRowFile(int file, int64_t size);
// Forces what was written to the disk. 0 or errno; EINVAL for what has no disk (a pipe, a console).
int SyncRowFile(int file);
// 0 or errno.
int CloseRowFile(int file);
// 0 while the open file is still the file at `path`: not deleted, renamed away or replaced, and
// its disk still there. Else errno (ENOENT when nothing is at the path) or -1.
int RowFileStillAt(int file, const std::string& path);

}  // namespace korva
