// Inside the platform: the settings store's values as QVariants, for what the user-interface room
// keeps there itself (a window's size and position).
#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace korva::core {

// Whether the store is on.
bool StoreOn();
// What `key` holds; nothing when the store is off or holds nothing under it.
std::optional<QVariant> Stored(const char* key);
// Remembers a value and writes it to the store at once; nothing while the store is off. A store
// that cannot be written is turned off, with one message on standard error.
void Store(const char* key, const QVariant& value);
// Says once per key, on standard error, that its value is ignored: not `expected`.
void WarnIgnored(const char* key, const QVariant& value, const QString& expected);

}  // namespace korva::core
