// Files the program writes row by row (the record file): plain POSIX calls on Linux, the C
// run-time's low-level calls and Win32 on Windows, behind the same functions.
#include "fileio.h"
#include "runtime.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korva {

namespace {

#ifdef _WIN32

std::filesystem::path NativePath(const std::string& path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

bool IsRegular(const std::filesystem::path& path, int* error)
{
    struct _stat64 status {};
    if (_wstat64(path.c_str(), &status) == 0)
        return (status.st_mode & _S_IFMT) == _S_IFREG;
    *error = errno;
    return errno == ENOENT;  // a new name
}

// What the file system knows of an open file: which file on which volume, and its links.
bool Identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info)
{
    return handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, info) != 0;
}

#else

bool IsRegular(const std::string& path, int* error)
{
    struct stat status {};
    if (stat(path.c_str(), &status) == 0)
        return S_ISREG(status.st_mode);
    *error = errno;
    return errno == ENOENT;  // a new name
}

#endif

}  // namespace

// Anything but a regular file (or, for writing, a new name) is refused before it is opened: opening
// a FIFO waits for the other end, opening a serial port may change its lines. The open itself does
// not block either, so a FIFO put there in the meantime cannot hold the program; a second look at
// what was opened refuses it. Nothing is emptied here.
int core::OpenRegularFile(const std::string& path, bool forWriting, bool* notAFile, int* error)
{
    *notAFile = false;
    *error = 0;
#ifdef _WIN32
    const std::filesystem::path native = NativePath(path);
    if (!IsRegular(native, error) || (!forWriting && *error != 0)) {
        *notAFile = *error == 0;
        return -1;
    }
    *error = 0;
    const int access = forWriting ? _O_WRONLY | _O_CREAT | _O_APPEND : _O_RDONLY;
    const int file = _wopen(native.c_str(), access | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (file < 0) {
        *error = errno;
        return -1;
    }
    // Device names (NUL, COM1, ...) are devices in every folder.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(file))) != FILE_TYPE_DISK) {
        _close(file);
        *notAFile = true;
        return -1;
    }
    return file;
#else
    if (!IsRegular(path, error) || (!forWriting && *error != 0)) {
        *notAFile = *error == 0;
        return -1;
    }
    *error = 0;
    const int access = forWriting ? O_WRONLY | O_CREAT | O_APPEND : O_RDONLY;
    const int file = open(path.c_str(), access | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat status {};
    if (file < 0 || fstat(file, &status) != 0) {
        *error = errno;
        if (file >= 0)
            close(file);
        return -1;
    }
    const int flags = fcntl(file, F_GETFL);
    if (!S_ISREG(status.st_mode) || flags < 0 || fcntl(file, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        *notAFile = !S_ISREG(status.st_mode);
        *error = *notAFile ? 0 : errno;
        close(file);
        return -1;
    }
    return file;
#endif
}

int64_t core::OpenFileSize(int file)
{
#ifdef _WIN32
    return _filelengthi64(file);
#else
    struct stat status {};
    return fstat(file, &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
#endif
}

int OpenRowFile(const std::string& path, bool* notAFile, int* error)
{
    return core::OpenRegularFile(path, true, notAFile, error);
}

int64_t RowFileSize(int file)
{
    return core::OpenFileSize(file);
}

#ifdef _WIN32

namespace {

// The errno of a failed write, for strerror.
int ErrnoOfWrite(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    default:
        return EIO;
    }
}

}  // namespace

// WriteFile rather than the C run-time's _write, which on a disk that fills up in the middle of
// the bytes tells neither how many reached it nor why it stopped. The run-time's appending is its
// _write's: here the writes go to a file's end themselves (a pipe or console has no end to seek).
size_t WriteRowFile(int file, const char* data, size_t size, int* error)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(file));
    size_t done = 0;
    *error = 0;
    if (GetFileType(handle) == FILE_TYPE_DISK && SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_END) == 0) {
        *error = ErrnoOfWrite(GetLastError());
        return 0;
    }
    while (done < size) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size - done, INT_MAX));
        const BOOL good = WriteFile(handle, data + done, chunk, &written, nullptr);
        done += written;
        if (!good || written == 0) {
            *error = good ? 0 : ErrnoOfWrite(GetLastError());
            break;
        }
    }
    return done;
}

#else

size_t WriteRowFile(int file, const char* data, size_t size, int* error)
{
    size_t done = 0;
    *error = 0;
    while (done < size) {
        const ssize_t n = write(file, data + done, std::min<size_t>(size - done, INT_MAX));
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n == 0 || errno != EINTR) {
            *error = n < 0 ? errno : 0;
            break;
        }
    }
    return done;
}

#endif

int CutRowFile(int file, int64_t size)
{
#ifdef _WIN32
    return _chsize_s(file, size);
#else
    return ftruncate(file, static_cast<off_t>(size)) == 0 ? 0 : errno;
#endif
}

// Only a file on a disk can be forced to it: as fsync does, anything else (a pipe, which _commit
// would wait on until its reader has read everything, a console) is EINVAL.
int SyncRowFile(int file)
{
#ifdef _WIN32
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(file))) != FILE_TYPE_DISK)
        return EINVAL;
    return _commit(file) == 0 ? 0 : errno;
#else
    return fsync(file) == 0 ? 0 : errno;
#endif
}

int CloseRowFile(int file)
{
#ifdef _WIN32
    return _close(file) == 0 ? 0 : errno;
#else
    return close(file) == 0 ? 0 : errno;
#endif
}

// Writes to a file that was deleted, renamed away or whose file system was lazily unmounted all
// succeed and reach no one, so the writer asks before each write whether the open file is still
// the one at the path.
int RowFileStillAt(int file, const std::string& path)
{
#ifdef _WIN32
    BY_HANDLE_FILE_INFORMATION opened{}, named{};
    if (!Identity(reinterpret_cast<HANDLE>(_get_osfhandle(file)), &opened))
        return EIO;
    const HANDLE atPath = CreateFileW(NativePath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const bool known = Identity(atPath, &named);
    if (atPath != INVALID_HANDLE_VALUE)
        CloseHandle(atPath);
    if (!known)
        return ENOENT;
    const bool same = opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
                      opened.nFileIndexHigh == named.nFileIndexHigh && opened.nFileIndexLow == named.nFileIndexLow;
    return same && opened.nNumberOfLinks > 0 ? 0 : -1;
#else
    struct stat opened {}, named {};
    if (fstat(file, &opened) != 0 || stat(path.c_str(), &named) != 0)
        return errno;
    const bool same = opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
    return same && opened.st_nlink > 0 ? 0 : -1;
#endif
}

}  // namespace korva
