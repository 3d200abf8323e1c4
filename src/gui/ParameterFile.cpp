// The parameter file's dialogs: the parameters saved from the panels and loaded into them (the
// format is link's ParameterFile). It goes through the variables, never through pp.
#include "gui/Gui.h"
#include "link/ParameterFile.h"

#include <filesystem>

namespace korva {

std::string file_name;

namespace {

constexpr const char* PARAMETER_FILE = "KORVApara.dat";
constexpr const char* PARAMETER_FILTER = "*.dat";

}  // namespace

std::string ParameterFolder()
{
    if (!file_name.empty())
        return std::filesystem::path(file_name).parent_path().string();
    return ParameterFileFolder();
}

// The packet goes to the file straight from the variables: pp belongs to the exchange on the line,
// and a file saved while a loop runs must not overwrite the record that has just come in.
void SendParaToFile()
{
    SetExportFolder(ParameterFolder());  // the graphs' save dialogs start where parameter files are
    GetPanelValues();
    uint16_t packet[PNUM];
    PackVariables(packet);
    if (!WriteParameterFile(file_name, packet))
        ShowMessage("Cannot write parameter file!");
}

// As the save, the load passes by pp.
void LoadParaFile()
{
    SetExportFolder(ParameterFolder());
    uint16_t packet[PNUM];
    if (!ReadParameterFile(file_name, packet)) {
        // Shown by the panel update that follows; the parameters stay as they were.
        StoreStatus("Cannot read parameter file!");
        return;
    }
    UnpackVariables(packet);
}

namespace {

// The panels show the file's parameters, or again the variables' when the dialog was cancelled.
void ParameterFileToLoad(const std::string& path)
{
    if (!path.empty()) {
        file_name = path;
        RememberParameterFile(path);
        LoadParaFile();
    }
    PushGET(DATFILE);
}

}  // namespace

void ReadParaFromFile()
{
    FileSelectPopupThen(panelHandle, ParameterFileFolder(), PARAMETER_FILE, PARAMETER_FILTER, "KORVA-TB-Parameter File",
                        VAL_LOAD_BUTTON, ParameterFileToLoad);
}

}  // namespace korva
