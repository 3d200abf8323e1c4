// Inside the user-interface layer: writing a file so that it is either complete or not there.
#pragma once

#include <QByteArray>
#include <QString>

namespace korva::ui {

// Writes `content` to `path`. The new content replaces the file only once all of it is on the
// disk, so a failed write (a full disk, too) leaves any old file as it was and no new one.
// Returns false on any failure.
bool WriteFileSafely(const QString& path, const QByteArray& content);

}  // namespace korva::ui
