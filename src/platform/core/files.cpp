// Files: arrays of numbers as text files, the user's folders, and writing a file whole or not at all.
#include "fileio.h"
#include "runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace korva {

namespace {

// The number on one line, without the blanks around it.
std::optional<uint32_t> ParseNumber(QByteArrayView line)
{
    uint32_t value = 0;
    const char* end = line.data() + line.size();
    const auto [stop, error] = std::from_chars(line.data(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// Every number of the text, or nothing when a line holds anything but one number or blanks.
std::optional<std::vector<uint32_t>> ParseNumbers(const QByteArray& text)
{
    std::vector<uint32_t> numbers;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();  // blanks and the CR of CR LF
        if (line.isEmpty())
            continue;
        const std::optional<uint32_t> number = ParseNumber(line);
        if (!number)
            return std::nullopt;
        numbers.push_back(*number);
    }
    return numbers;
}

// A text file of numbers larger than this is refused unread. Sixteen parameter values take at
// most 112 bytes (192 with ten-digit numbers), CR LF line ends included; the rest is room for
// blanks and blank lines.
constexpr qint64 MAX_NUMBER_FILE_SIZE = 4096;

// The content of a regular file, also behind symbolic links, of at most MAX_NUMBER_FILE_SIZE
// bytes; nothing for anything else. A FIFO or a device may block the reader, never end or be
// disturbed by being opened, so they are refused without waiting (OpenRegularFile).
std::optional<QByteArray> ReadSmallFile(const std::string& path)
{
    bool notAFile = false;
    int error = 0;
    const int fd = core::OpenRegularFile(path, false, &notAFile, &error);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    if (core::OpenFileSize(fd) > MAX_NUMBER_FILE_SIZE || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        CloseRowFile(fd);
        return std::nullopt;
    }
    QByteArray text = file.read(MAX_NUMBER_FILE_SIZE + 1);  // one byte more shows a file that grew
    if (file.error() != QFileDevice::NoError || text.size() > MAX_NUMBER_FILE_SIZE)
        return std::nullopt;
    return text;
}

// Writes the text and waits until every byte of it is on the disk. QSaveFile::commit does not
// notice a full disk while writing out its buffer, so that has to have happened before it. (Where
// Qt writes through a handle of the system's own rather than a C run-time descriptor, handle() is
// -1 and commit syncs that handle itself.)
bool WriteToDisk(QSaveFile* file, const QByteArray& text)
{
    return file->write(text) == text.size() && file->flush() && file->error() == QFileDevice::NoError &&
           (file->handle() < 0 || SyncRowFile(file->handle()) == 0);
}

}  // namespace

// QSaveFile writes beside the target and renames over it only on commit; without a commit it
// removes what it wrote, and the target stays as it was.
bool core::WriteFileSafely(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && WriteToDisk(&file, content) && file.commit();
}

std::string GetDocumentsDir()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return (!documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath()).toStdString();
}

// Permission bits do not tell (Windows ACLs, read-only mounts, root), so a file is really made.
bool CanWriteIn(const std::string& folder)
{
    if (folder.empty())
        return false;
    QTemporaryFile probe(QDir(QString::fromStdString(folder)).filePath(QStringLiteral(".korva-write-test-XXXXXX")));
    return probe.open();  // and removed again as the probe goes
}

int ArrayToFile(const std::string& path, const uint32_t* values, size_t n, int width)
{
    if (values == nullptr && n > 0)
        return UIE_BAD_ARGUMENT;
    QByteArray text;
    for (size_t i = 0; i < n; ++i)
        text += QByteArray::number(values[i]).rightJustified(width, ' ') + '\n';
    return core::WriteFileSafely(QString::fromStdString(path), text) ? 0 : UIE_FILE_ACCESS;
}

int FileToArray(const std::string& path, uint32_t* values, size_t n)
{
    const std::optional<QByteArray> text = ReadSmallFile(path);
    if (!text)
        return UIE_FILE_ACCESS;
    const std::optional<std::vector<uint32_t>> numbers = ParseNumbers(*text);
    if (!numbers || numbers->size() < n)
        return UIE_FILE_FORMAT;
    std::copy_n(numbers->begin(), n, values);
    return 0;
}

}  // namespace korva
