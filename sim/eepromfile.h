// The EEPROM set kept in a text file across runs: sixteen decimal numbers, one per line.
#pragma once

#include "protocol.h"

#include <optional>
#include <string>

namespace korva::sim {

// The stored set, or nothing when the file does not exist. Throws std::runtime_error when the
// file cannot be read or does not hold sixteen numbers 0..65535.
std::optional<Words> loadEeprom(const std::string& path);

// Writes the set to a temporary file beside `path` and renames it over `path`, so the file is
// never seen half written. Throws std::runtime_error on failure.
void saveEeprom(const std::string& path, const Words& words);

}  // namespace korva::sim
