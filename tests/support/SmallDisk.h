// A real 64 KB disk for tests of a full disk as it happens in the field. On Linux a fresh tmpfs
// is mounted on a new folder (mounting needs root; a test skips when it is refused) and unmounted
// when the disk goes out of scope. A Windows build has no mount: under wine, scripts/windows-check
// mounts one small tmpfs before the tests and names it in KORVA_SMALL_DISK (a Windows path); each
// disk works in a fresh folder on it and removes what it wrote when it goes.
#pragma once

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdio>
#include <vector>

#ifndef _WIN32
#include <sys/mount.h>
#endif

namespace korva::test {

class SmallDisk {
public:
#ifdef _WIN32
    SmallDisk()
        : root_(qEnvironmentVariable("KORVA_SMALL_DISK")),
          folder_(root_.isEmpty() ? QString() : QDir(root_).filePath(QStringLiteral("disk-XXXXXX"))),
          mounted_(!root_.isEmpty() && folder_.isValid())
    {
    }
#else
    SmallDisk() : mounted_(mount("korva-test", point_.constData(), "tmpfs", 0, "size=64k") == 0) {}
    ~SmallDisk()
    {
        if (mounted_)
            umount2(point_.constData(), MNT_DETACH);
    }
#endif
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    QString filePath(const char* name) const { return folder_.filePath(QString::fromLatin1(name)); }
    QStringList files() const { return QDir(folder_.path()).entryList(QDir::Files); }

    // Another file, "filler", takes every byte that is left; true once the disk is full.
    bool Fill() const
    {
        std::FILE* filler = std::fopen(QFile::encodeName(filePath("filler")).constData(), "wb");
        if (filler == nullptr)
            return false;
        const std::vector<char> block(4096, 'f');
        std::setvbuf(filler, nullptr, _IONBF, 0);
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
        }
        const bool full = errno == ENOSPC;
        std::fclose(filler);
        return full;
    }

private:
#ifdef _WIN32
    QString root_;
#endif
    QTemporaryDir folder_;
#ifndef _WIN32
    const QByteArray point_ = QFile::encodeName(folder_.path());
#endif
    bool mounted_;
};

}  // namespace korva::test
