#include "platform/PowerSupply.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace halcyra {

namespace {

// The first line of a small sysfs attribute file, or the empty text.
std::string attribute(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[128];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    close(fd);
    if (got <= 0)
        return {};
    std::string text(buffer, static_cast<std::size_t>(got));
    const std::size_t end = text.find('\n');
    if (end != std::string::npos)
        text.resize(end);
    return text;
}

} // namespace

bool onBatteryPower(const std::string& powerSupplyRoot) {
    DIR* folder = opendir(powerSupplyRoot.c_str());
    if (folder == nullptr)
        return false;
    bool battery = false;
    bool discharging = false;
    bool externalListed = false;
    bool externalOnline = false;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string base = powerSupplyRoot + "/" + name + "/";
        const std::string type = attribute(base + "type");
        if (type == "Battery") {
            // Batteries of attached devices (mice, headsets) do not power the computer.
            if (attribute(base + "scope") == "Device")
                continue;
            battery = true;
            if (attribute(base + "status") == "Discharging")
                discharging = true;
        } else if (type == "Mains" || type.rfind("USB", 0) == 0) {
            externalListed = true;
            if (attribute(base + "online") == "1")
                externalOnline = true;
        }
    }
    closedir(folder);
    if (!battery)
        return false;
    return externalListed ? !externalOnline : discharging;
}

} // namespace halcyra
