// What the program keeps between runs: a small store of named values for the user (a file under
// ~/.config on Linux, the registry on Windows). Until OpenSettings has opened it the store is off:
// reads find nothing and writes keep nothing, so a program that never opens it behaves as if it
// had no memory at all. (A window's size and position are kept here too: RestorePanelGeometry and
// SavePanelGeometry, userint.h.)
#pragma once

#include <string>

namespace korva {

// Opens the store of `organisation`/`application` for reading and writing. A store that cannot be
// read, is not in its format, or whose file is not a regular file (a FIFO, a device, a link to
// one: checked before it is read, and again before every write) is left alone (not read, not
// overwritten) and stays off for the run, with one message on standard error. A link to a
// regular file is written through and kept. Returns whether the store is on.
bool OpenSettings(const char* organisation, const char* application);
// Turns the store off: nothing is read or written until it is opened again, on Linux not even
// what Qt's own widgets would remember (the file dialog's history).
void CloseSettings();

// A remembered value: true, with `*value` set, when `key` holds a text, or a whole number from
// `min` to `max`. Nothing remembered, or the store off: false. A value of another kind or out of
// range is ignored (false) with a message on standard error.
bool ReadSetting(const char* key, std::string* value);
bool ReadSetting(const char* key, int min, int max, int* value);
// Remembers a value and writes it to the store at once. A store that cannot be written is turned
// off, with one message on standard error.
void WriteSetting(const char* key, const std::string& value);
void WriteSetting(const char* key, int value);

}  // namespace korva
