// What the program remembers between runs for the operator, besides the main window's place: the
// COM port last chosen and the folders of the last parameter file and the last record file. Kept
// in the platform's settings store (settings.h); while the store is off (--no-settings,
// KORVA_NO_SETTINGS=1) nothing is remembered and every answer below is what the program would use
// without a memory. Parameters themselves are never remembered: the sensor's EEPROM and the
// parameter files keep them.
#pragma once

#include <string>

namespace korva {

// The port the operator chose last (COM-port ring, or a search for the sensor), 1 to
// COM_PORT_COUNT; 0 when none is remembered.
int RememberedPort();
void RememberPort(int port);

// Where the parameter-file dialogs start: the folder of the last parameter file chosen, while it
// is still there and writable; else defaultFolder.
std::string ParameterFileFolder();
// Where the record dialog starts: the folder of the last record file chosen, likewise; else
// `otherwise`.
std::string RecordFileFolder(const std::string& otherwise);
// A file has been chosen in one of those dialogs: its folder is remembered.
void RememberParameterFile(const std::string& path);
void RememberRecordFile(const std::string& path);

}  // namespace korva
