// The EEPROM set kept in a text file across runs: sixteen decimal numbers, one per line.
#pragma once

#include "protocol.h"

#include <optional>
#include <string>

namespace korva::sim {

// Whether `path` may keep the set: a regular file (also behind a link) or nothing yet. Anything
// else, a FIFO or a device, is neither read (a FIFO would hold the sensor for good) nor written
// (the rename would replace a device with a file).
bool usableEepromFile(const std::string& path);

// The stored set, or nothing when the file does not exist. Throws std::runtime_error when the
// file cannot be read or does not hold sixteen numbers 0..65535. Call it on a usable file only.
std::optional<Words> loadEeprom(const std::string& path);

// Writes the set to a temporary file beside the file `path` names (the target of a link, which
// stays) and renames it over that file, so the file is never seen half written. Throws
// std::runtime_error on failure, also when the file is no longer usable.
void saveEeprom(const std::string& path, const Words& words);

}  // namespace korva::sim
