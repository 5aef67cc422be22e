#include "platform/BlockDevices.h"

#include "base/NumberText.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr int kMaxStackDepth = 16; // mapped devices stacked deeper than this are not followed

std::string realPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool isFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

// First line of a small text file; empty when it cannot be read.
std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr)
        return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Undoes the \ooo escapes mountinfo uses for blanks, tabs, newlines and backslashes.
std::string decodeOctal(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string digits = text.substr(i + 1, 3);
            if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8) & 0xFF);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool parseNumber(const std::string& text, DeviceNumber& number) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size())
        return false;
    // Up to nine digits each, so that both always fit.
    const std::string_view major = std::string_view(text).substr(0, colon);
    const std::string_view minor = std::string_view(text).substr(colon + 1);
    const auto majorNumber = major.size() <= 9 ? decimalInteger<unsigned>(major) : std::nullopt;
    const auto minorNumber = minor.size() <= 9 ? decimalInteger<unsigned>(minor) : std::nullopt;
    if (!majorNumber || !minorNumber)
        return false;
    number.major = *majorNumber;
    number.minor = *minorNumber;
    return true;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::vector<MountEntry> readMountInfo(const std::string& file) {
    std::vector<MountEntry> entries;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;)
            words.push_back(word);
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const auto separator = std::find(words.begin(), words.end(), "-");
        if (words.size() < 6 || separator == words.end() || separator - words.begin() < 6 ||
            words.end() - separator < 3)
            continue;
        MountEntry entry;
        if (!parseNumber(words[2], entry.device))
            continue;
        entry.mountPoint = decodeOctal(words[4]);
        entry.source = decodeOctal(*(separator + 2));
        entries.push_back(std::move(entry));
    }
    return entries;
}

BlockDevices::BlockDevices(std::string sysRoot, std::string mountInfo)
    : m_sysRoot(std::move(sysRoot)), m_mounts(readMountInfo(mountInfo)) {}

std::string BlockDevices::deviceFolder(DeviceNumber number) const {
    const std::string folder = realPath(m_sysRoot + "/dev/block/" + std::to_string(number.major) + ":" +
                                        std::to_string(number.minor));
    return isFolder(folder) ? folder : std::string();
}

void BlockDevices::collectDisks(const std::string& folder, int depth, std::vector<std::string>& disks) const {
    if (depth > kMaxStackDepth)
        return;
    const std::vector<std::string> slaves = folderEntries(folder + "/slaves");
    if (!slaves.empty()) {
        for (const std::string& slave : slaves) {
            const std::string below = realPath(folder + "/slaves/" + slave);
            if (!below.empty())
                collectDisks(below, depth + 1, disks);
        }
        return;
    }
    const std::string disk = exists(folder + "/partition") ? folderOf(folder) : folder;
    if (std::find(disks.begin(), disks.end(), disk) == disks.end())
        disks.push_back(disk);
}

std::vector<std::string> BlockDevices::disksOf(DeviceNumber number) const {
    std::string folder = deviceFolder(number);
    if (folder.empty()) {
        for (const MountEntry& mount : m_mounts) {
            if (!(mount.device == number) || mount.source.rfind("/dev/", 0) != 0)
                continue;
            struct stat info {};
            if (stat(mount.source.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
                folder = deviceFolder({major(info.st_rdev), minor(info.st_rdev)});
                if (!folder.empty())
                    break;
            }
        }
    }
    std::vector<std::string> disks;
    if (!folder.empty())
        collectDisks(folder, 0, disks);
    return disks;
}

std::vector<std::string> BlockDevices::disksOfPath(const std::string& path) const {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return {};
    const dev_t device = S_ISBLK(info.st_mode) ? info.st_rdev : info.st_dev;
    return disksOf({major(device), minor(device)});
}

bool BlockDevices::isRemovable(const std::string& diskFolder) const {
    if (firstLine(diskFolder + "/removable") == "1")
        return true;
    // Disks on a USB bus (sticks and external drives that do not call themselves removable).
    std::string inside = diskFolder;
    const std::string root = realPath(m_sysRoot);
    if (!root.empty() && inside.rfind(root + "/", 0) == 0)
        inside.erase(0, root.size());
    std::istringstream parts(inside);
    for (std::string part; std::getline(parts, part, '/');) {
        if (part.size() > 3 && part.compare(0, 3, "usb") == 0 &&
            std::all_of(part.begin() + 3, part.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return true;
    }
    return false;
}

std::string BlockDevices::deviceNode(const std::string& deviceFolder) const {
    std::ifstream in(deviceFolder + "/uevent");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("DEVNAME=", 0) == 0 && line.size() > 8)
            return "/dev/" + line.substr(8);
    std::string name = deviceFolder.substr(deviceFolder.rfind('/') + 1);
    std::replace(name.begin(), name.end(), '!', '/');
    return "/dev/" + name;
}

} // namespace halcyra
