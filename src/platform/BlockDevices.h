#pragma once

#include <string>
#include <vector>

namespace halcyra {

// A block device number (major:minor).
struct DeviceNumber {
    unsigned major = 0;
    unsigned minor = 0;
    bool operator==(const DeviceNumber&) const = default;
};

// One line of a mountinfo table.
struct MountEntry {
    DeviceNumber device;    // as the file system reports it (0:n for btrfs and virtual file systems)
    std::string mountPoint; // octal escapes decoded
    std::string source;     // the mount source ("/dev/sdb1", "tmpfs", ...), escapes decoded
};

// Parses a mountinfo file (the format of /proc/self/mountinfo); lines that do not parse are skipped, and a
// file that cannot be read gives an empty table.
std::vector<MountEntry> readMountInfo(const std::string& file);

// What a sysfs tree tells about block devices. All paths are read under `sysRoot` (normally "/sys"), so
// tests can give a fake tree.
class BlockDevices {
public:
    explicit BlockDevices(std::string sysRoot = "/sys", std::string mountInfo = "/proc/self/mountinfo");

    // The whole disks (sysfs folders, symbolic links resolved) that device `number` stores its data on:
    // the device itself when it is a disk, the disk of a partition, and the disks below a mapped or RAID
    // device. A number sysfs does not know (a btrfs or virtual file system) is looked up in the mount table
    // and followed through its source device. Empty when nothing is found.
    std::vector<std::string> disksOf(DeviceNumber number) const;

    // The disks holding the file or folder at `path` (the device's own disks when `path` is a block device
    // node). Empty when `path` cannot be examined or lies on no known block device.
    std::vector<std::string> disksOfPath(const std::string& path) const;

    // Whether the disk's medium can be taken out: sysfs marks it removable, or it hangs on a USB bus.
    bool isRemovable(const std::string& diskFolder) const;

    // The device node of a sysfs device folder ("/dev/" + its DEVNAME).
    std::string deviceNode(const std::string& deviceFolder) const;

    // The device folder under sysfs for `number`, symbolic links resolved; empty when unknown.
    std::string deviceFolder(DeviceNumber number) const;

    const std::vector<MountEntry>& mounts() const { return m_mounts; }

private:
    void collectDisks(const std::string& folder, int depth, std::vector<std::string>& disks) const;

    std::string m_sysRoot;
    std::vector<MountEntry> m_mounts;
};

} // namespace halcyra
