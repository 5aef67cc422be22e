#include "settings/AuxProcs.h"

#include "base/Paths.h"
#include "platform/BlockDevices.h"

#include <algorithm>
#include <sys/stat.h>

namespace halcyra {

namespace {

bool isExistingFolder(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool sharesDisk(const std::vector<std::string>& disks, const std::string& disk) {
    return std::find(disks.begin(), disks.end(), disk) != disks.end();
}

} // namespace

bool BrowseForFolder(std::string_view Title, std::string& Folder) {
    if (UiServices* ui = currentUiServices())
        return BrowseForFolder(*ui, Title, Folder);
    if (!isExistingFolder(Folder))
        Folder.clear();
    return false;
}

bool BrowseForFolder(UiServices& ui, std::string_view Title, std::string& Folder) {
    if (!isExistingFolder(Folder))
        Folder.clear();
    const std::optional<std::string> chosen = ui.pickFolder(Title, Folder);
    if (!chosen || chosen->empty())
        return false;
    Folder = withTrailingSlash(*chosen);
    return true;
}

bool EjectMedia(const std::string& Path) {
    return EjectMedia(Path, currentEjectBackend(), EjectEnvironment{});
}

bool EjectMedia(const std::string& Path, EjectBackend& backend, const EjectEnvironment& environment) {
    const BlockDevices devices(environment.sysRoot, environment.mountInfo);
    const std::vector<std::string> disks = devices.disksOfPath(Path);
    if (disks.size() != 1 || !devices.isRemovable(disks.front()))
        return false;
    const std::string& disk = disks.front();

    const std::vector<std::string> protectedPaths =
        environment.protectedPaths ? *environment.protectedPaths
                                   : std::vector<std::string>{settingsFolder(), dataFolder()};
    for (const std::string& path : protectedPaths) {
        struct stat info {};
        if (stat(path.c_str(), &info) != 0)
            return false; // cannot tell where it lives: do not risk it
        if (sharesDisk(devices.disksOfPath(path), disk))
            return false;
    }

    // Innermost mounts come last in the table; unmount them first.
    const std::vector<MountEntry>& mounts = devices.mounts();
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (!sharesDisk(devices.disksOf(it->device), disk))
            continue;
        std::string node = it->source;
        if (node.rfind("/dev/", 0) != 0) {
            const std::string folder = devices.deviceFolder(it->device);
            node = folder.empty() ? std::string() : devices.deviceNode(folder);
        }
        if (!backend.unmount(node, it->mountPoint))
            return false;
    }
    return backend.eject(devices.deviceNode(disk));
}

std::uint8_t winVersionCode(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                            std::uint32_t build) {
    if (platformId == 1) {
        if (minor < 10)
            return build <= 1000 ? 1 : 2;
        if (minor == 10) {
            if (build <= 2000)
                return 3;
            return build <= 2700 ? 4 : 5;
        }
        return minor <= 90 ? 5 : 6;
    }
    if (platformId == 2) {
        if (major < 4)
            return 7;
        if (major == 4)
            return 8;
        if (major == 5 && minor == 0)
            return 9;
        if (major == 5 && minor == 1)
            return 10;
        return 11;
    }
    return 0;
}

bool isWin9xCode(std::uint8_t code) {
    return code < 7;
}

std::uint8_t GetWinVersion() {
    return winVersionCode(0, 0, 0, 0);
}

bool IsWin9x() {
    return isWin9xCode(GetWinVersion());
}

} // namespace halcyra
