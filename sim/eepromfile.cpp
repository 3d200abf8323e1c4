#include "eepromfile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace korva::sim {

namespace {

std::runtime_error fileError(const std::string& what, const std::string& path)
{
    return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

std::uint16_t parseWord(const std::string& line, const std::string& path, std::size_t lineNumber)
{
    std::uint16_t value = 0;
    const char* end = line.data() + line.size();
    const auto [ptr, ec] = std::from_chars(line.data(), end, value);
    if (ec != std::errc() || ptr != end)
        throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": \"" + line
                                 + "\" is not a number from 0 to 65535");
    return value;
}

// The file a chain of symbolic links ends at, also when it does not exist yet.
std::filesystem::path linkTarget(const std::filesystem::path& path)
{
    std::filesystem::path file = path;
    std::error_code error;
    for (int hops = 0; hops < 40 && std::filesystem::is_symlink(file, error); ++hops) {
        const std::filesystem::path next = std::filesystem::read_symlink(file, error);
        if (error)
            break;
        file = next.is_absolute() ? next : file.parent_path() / next;
    }
    return file;
}

}  // namespace

bool usableEepromFile(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);  // of the link's target
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

std::optional<Words> loadEeprom(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        if (errno == ENOENT)
            return std::nullopt;
        throw fileError("cannot read EEPROM file", path);
    }
    Words words{};
    std::string line;
    for (std::size_t i = 0; i < PNUM; ++i) {
        if (!std::getline(in, line))
            throw std::runtime_error(path + ": holds fewer than " + std::to_string(PNUM) + " values");
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        words[i] = parseWord(line, path, i + 1);
    }
    return words;
}

void saveEeprom(const std::string& path, const Words& words)
{
    const std::string file = linkTarget(path).string();
    if (!usableEepromFile(file))
        throw std::runtime_error("not writing the EEPROM file " + path + ": not a regular file");
    std::error_code error;
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (std::uint16_t w : words)
            out << w << '\n';
        out.flush();
        if (!out)
            throw fileError("cannot write", temp);
    }
    // Replaces an existing file on every system (std::rename does not on Windows).
    std::filesystem::rename(temp, file, error);
    if (error)
        throw std::runtime_error("cannot rename " + temp + " to " + file + ": " + error.message());
}

}  // namespace korva::sim
