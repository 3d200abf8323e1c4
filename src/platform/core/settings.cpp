// The program's store of remembered values on QSettings (native format: an INI file under
// ~/.config on Linux, the registry on Windows).
#include "settings.h"

#include "store.h"

#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace korva {

namespace {

std::unique_ptr<QSettings> s_store;  // null while the store is off
QString s_application;              // names the program in its messages
QSet<QString> s_warned;             // keys whose value has been found unusable since the store opened

void Warn(const QString& text)
{
    qWarning("%s: %s", qPrintable(s_application), qPrintable(text));
}

#ifndef Q_OS_WIN
// Where the settings file is, and where Qt's widgets keep their own memories (the file dialog's
// history): under $XDG_CONFIG_HOME, else ~/.config.
QString ConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}
#endif

// The settings are read and written only while their file is a regular file (also behind a
// link, which is then written through and kept) or not there yet: reading a FIFO would hold the
// program for good, and Qt's save-and-rename would replace a device with a file. The registry
// (Windows) is always fine.
bool UsableFile(const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true;
#else
    const QFileInfo file(path);
    return !file.exists() || file.isFile();
#endif
}

// Written through at once, so a crash or a killed process later loses nothing remembered.
void Sync()
{
    s_store->sync();
    if (s_store->status() == QSettings::NoError)
        return;
    Warn(QStringLiteral("cannot write the settings %1; nothing more is remembered in this run")
             .arg(s_store->fileName()));
    s_store.reset();
}

}  // namespace

bool core::StoreOn()
{
    return s_store != nullptr;
}

std::optional<QVariant> core::Stored(const char* key)
{
    if (s_store == nullptr || !s_store->contains(QString::fromUtf8(key)))
        return std::nullopt;
    return s_store->value(QString::fromUtf8(key));
}

// Looked at again before every write: the file may have been replaced since it was read.
void core::Store(const char* key, const QVariant& value)
{
    if (s_store == nullptr)
        return;
    if (!UsableFile(s_store->fileName())) {
        Warn(QStringLiteral("cannot write the settings %1: not a regular file; nothing more is remembered in this run")
                 .arg(s_store->fileName()));
        s_store.reset();
        return;
    }
    s_store->setValue(QString::fromUtf8(key), value);
    Sync();
}

// A value of the wrong kind is the operator's or another program's doing, not a reason to stop.
// Said once per key, however often the value is read.
void core::WarnIgnored(const char* key, const QVariant& value, const QString& expected)
{
    if (s_warned.contains(QString::fromUtf8(key)))
        return;
    s_warned.insert(QString::fromUtf8(key));
    const QString text = value.toString();
    const QString shown = text.isEmpty() && value.typeId() != QMetaType::QString ? value.typeName() : text.left(80);
    Warn(QStringLiteral("ignoring the remembered \"%1\" (%2) in %3: %4")
             .arg(QString::fromUtf8(key), shown, s_store->fileName(), expected));
}

bool OpenSettings(const char* organisation, const char* application)
{
    s_application = QString::fromUtf8(application);
    s_warned.clear();
#ifdef Q_OS_WIN
    auto store = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QString::fromUtf8(organisation), s_application);
#else
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, ConfigFolder());
    // The file itself, without the folder-wide and system-wide files QSettings would read too:
    // it is looked at before QSettings reads it.
    const QString file = ConfigFolder() + '/' + QString::fromUtf8(organisation) + '/' + s_application + ".conf";
    if (!UsableFile(file)) {
        Warn(QStringLiteral("cannot read the settings %1: not a regular file; starting without remembered settings")
                 .arg(file));
        s_store.reset();
        return false;
    }
    auto store = std::make_unique<QSettings>(file, QSettings::NativeFormat);
#endif
    // QSettings finds out only when it reads whether it can: a look at its keys tells (nothing is
    // written while nothing changed).
    store->allKeys();
    switch (store->status()) {
    case QSettings::NoError:
        s_store = std::move(store);
        return true;
    case QSettings::AccessError:
        Warn(QStringLiteral("cannot read the settings %1; starting without remembered settings")
                 .arg(store->fileName()));
        break;
    case QSettings::FormatError:
        Warn(QStringLiteral("the settings %1 are not in the settings format; ignoring them in this run")
                 .arg(store->fileName()));
        break;
    }
    // Dropped without another sync: what could not be read is not overwritten.
    s_store.reset();
    return false;
}

void CloseSettings()
{
    s_store.reset();
#ifndef Q_OS_WIN
    // Qt's widgets keep memories of their own beside the settings (the file dialog's history, in
    // QtProject.conf). Pointed below a device, which can hold no folder, they are not written
    // anywhere either. (On Windows they are in the registry, where Qt cannot be told otherwise.)
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null/no-settings"));
#endif
}

bool ReadSetting(const char* key, std::string* value)
{
    const std::optional<QVariant> stored = core::Stored(key);
    if (!stored || value == nullptr)
        return false;
    if (stored->typeId() != QMetaType::QString) {
        core::WarnIgnored(key, *stored, QStringLiteral("not a text"));
        return false;
    }
    *value = stored->toString().toStdString();
    return true;
}

bool ReadSetting(const char* key, int min, int max, int* value)
{
    const std::optional<QVariant> stored = core::Stored(key);
    if (!stored || value == nullptr)
        return false;
    // Text in the file, a number in the registry; a rectangle, a list or a flag is no port number.
    const int type = stored->typeId();
    const bool numeric = type == QMetaType::QString || type == QMetaType::Int || type == QMetaType::UInt ||
                         type == QMetaType::LongLong || type == QMetaType::ULongLong;
    bool whole = false;
    const int number = numeric ? stored->toInt(&whole) : 0;
    if (!whole || number < min || number > max) {
        core::WarnIgnored(key, *stored, QStringLiteral("not a whole number from %1 to %2").arg(min).arg(max));
        return false;
    }
    *value = number;
    return true;
}

void WriteSetting(const char* key, const std::string& value)
{
    core::Store(key, QString::fromStdString(value));
}

void WriteSetting(const char* key, int value)
{
    core::Store(key, value);
}

}  // namespace korva
