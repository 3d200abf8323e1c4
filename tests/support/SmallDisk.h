// A real 64 KB tmpfs on a fresh folder, for tests of a full disk as it happens in the field.
// Mounting needs root; a test skips when it is refused. Unmounted when the disk goes out of scope.
#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace korva::test {

class SmallDisk {
public:
    SmallDisk() : mounted_(mount("korva-test", point_.constData(), "tmpfs", 0, "size=64k") == 0) {}
    ~SmallDisk()
    {
        if (mounted_)
            umount2(point_.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString filePath(const char* name) const { return folder_.filePath(QString::fromLatin1(name)); }
    QStringList files() const { return QDir(folder_.path()).entryList(QDir::Files); }

    // Another file, "filler", takes every byte that is left; true once the disk is full.
    bool Fill() const
    {
        const int fd = open(QFile::encodeName(filePath("filler")).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::vector<char> block(4096, 'f');
        while (write(fd, block.data(), block.size()) > 0) {
        }
        const bool full = errno == ENOSPC;
        close(fd);
        return full;
    }

private:
    QTemporaryDir folder_;
    const QByteArray point_ = QFile::encodeName(folder_.path());
    bool mounted_;
};

}  // namespace korva::test
