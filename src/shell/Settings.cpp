// The operator's port and folders, remembered in the platform's settings store.
#include "shell/Settings.h"

#include "rs232.h"
#include "settings.h"
#include "shell/Shell.h"

#include <filesystem>

namespace korva {

namespace {

constexpr const char* PORT_KEY = "port";
constexpr const char* PARAMETER_FOLDER_KEY = "folders/parameterFiles";
constexpr const char* RECORD_FOLDER_KEY = "folders/recordFiles";

// The folder a file lies in; paths are UTF-8 on every system, so they pass as UTF-8 to the path.
std::string FolderOf(const std::string& file)
{
    const std::filesystem::path path(std::u8string(file.begin(), file.end()));
    const std::u8string folder = path.parent_path().u8string();
    return std::string(folder.begin(), folder.end());
}

// A folder remembered under `key` that a dialog can still start in and save to; else `otherwise`.
// A folder deleted, unmounted or made read-only since is silently passed over.
std::string UsableFolder(const char* key, const std::string& otherwise)
{
    std::string folder;
    if (ReadSetting(key, &folder) && CanWriteIn(folder))
        return folder;
    return otherwise;
}

void RememberFolderOf(const char* key, const std::string& file)
{
    const std::string folder = FolderOf(file);
    if (!folder.empty())
        WriteSetting(key, folder);
}

}  // namespace

int RememberedPort()
{
    int port = 0;
    return ReadSetting(PORT_KEY, 1, COM_PORT_COUNT, &port) ? port : 0;
}

void RememberPort(int port)
{
    if (port >= 1 && port <= COM_PORT_COUNT)
        WriteSetting(PORT_KEY, port);
}

std::string ParameterFileFolder()
{
    return UsableFolder(PARAMETER_FOLDER_KEY, defaultFolder);
}

std::string RecordFileFolder(const std::string& otherwise)
{
    return UsableFolder(RECORD_FOLDER_KEY, otherwise);
}

void RememberParameterFile(const std::string& path)
{
    RememberFolderOf(PARAMETER_FOLDER_KEY, path);
}

void RememberRecordFile(const std::string& path)
{
    RememberFolderOf(RECORD_FOLDER_KEY, path);
}

}  // namespace korva
