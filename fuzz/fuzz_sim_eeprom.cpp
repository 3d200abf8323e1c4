// The simulated sensor's EEPROM file (--eeprom): whatever the file holds is loaded at start. A
// file it accepts must hold sixteen values that survive a save and a load unchanged.
#include "eepromfile.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include <unistd.h>

using namespace korva::sim;

namespace {

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz_sim_eeprom: %s\n", what);
    std::abort();
}

// A file of its own in the temporary folder, removed at exit.
const std::string& EepromFile()
{
    static const struct Folder {
        std::string path;
        Folder()
        {
            char pattern[] = "/tmp/korva-fuzz-eeprom-XXXXXX";
            if (mkdtemp(pattern) == nullptr)
                Fail("no temporary folder");
            path = pattern;
        }
        ~Folder()
        {
            std::remove((path + "/eeprom.txt").c_str());
            rmdir(path.c_str());
        }
    } folder;
    static const std::string file = folder.path + "/eeprom.txt";
    return file;
}

void WriteFile(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::fopen(EepromFile().c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        Fail("cannot write the EEPROM file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WriteFile(data, size);
    std::optional<Words> loaded;
    try {
        loaded = loadEeprom(EepromFile());
    } catch (const std::runtime_error&) {
        return 0;  // refused with a reason, as the program reports it
    }
    if (!loaded)
        Fail("an existing EEPROM file was taken for a missing one");
    saveEeprom(EepromFile(), *loaded);
    if (loadEeprom(EepromFile()) != loaded)
        Fail("a saved EEPROM set does not load back unchanged");
    return 0;
}
