#pragma once

#include "platform/EjectBackend.h"
#include "platform/UiServices.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// Asks for a folder with the installed UI services, opening on `Folder` when it names an existing folder.
// True when a folder was chosen: `Folder` then holds it with a trailing "/" ("/" stays "/"). False when
// cancelled or when no dialog can be shown; `Folder` is then the empty text if it did not name an existing
// folder, else unchanged.
bool BrowseForFolder(std::string_view Title, std::string& Folder);
bool BrowseForFolder(UiServices& ui, std::string_view Title, std::string& Folder);

// Where EjectMedia looks. Defaults: the running system.
struct EjectEnvironment {
    std::string sysRoot = "/sys";
    std::string mountInfo = "/proc/self/mountinfo";
    // Paths whose disk must never be ejected; nothing given: the settings folder and the data folder.
    std::optional<std::vector<std::string>> protectedPaths;
};

// Ejects the removable medium that holds `Path` (a file, a folder, or the device node itself): finds its
// disk, refuses a disk that is not removable or that holds a protected path, unmounts every file system on
// the disk, then ejects it. True only when the eject was confirmed; every failure is reported as false.
bool EjectMedia(const std::string& Path);
bool EjectMedia(const std::string& Path, EjectBackend& backend, const EjectEnvironment& environment);

// Version code 0 to 11 of a system from its platform identifier (1 = the 9x family, 2 = the NT family,
// anything else = other), major and minor version and build number.
std::uint8_t winVersionCode(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                            std::uint32_t build);
// Whether a version code belongs to the 9x family (codes below 7; "other", 0, included).
bool isWin9xCode(std::uint8_t code);

// Version code of the running system: 0 ("other") on Linux.
std::uint8_t GetWinVersion();
bool IsWin9x();

} // namespace halcyra
