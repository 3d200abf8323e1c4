// Inside the platform: opening regular files without blocking, and writing a file so that it is
// either complete or not there. The user-interface and graph rooms use them too.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>

namespace korva::core {

// Opens a regular file (also behind a symbolic link) for reading, or for appending (then also a
// new name, which it creates), without emptying it and without ever blocking; a FIFO, a device or a
// folder is refused without being opened where the system can tell beforehand. Returns a C
// run-time file descriptor, or -1 with *error (an errno) or, for what is not a regular file,
// *notAFile. The descriptor is closed with CloseRowFile, or by a QFile that takes it over.
int OpenRegularFile(const std::string& path, bool forWriting, bool* notAFile, int* error);
// Size in bytes of an open file, or -1.
int64_t OpenFileSize(int file);

// Writes `content` to `path`. The new content replaces the file only once all of it is on the
// disk, so a failed write (a full disk, too) leaves any old file as it was and no new one.
// Returns false on any failure.
bool WriteFileSafely(const QString& path, const QByteArray& content);

}  // namespace korva::core
