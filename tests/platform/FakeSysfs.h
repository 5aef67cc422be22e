#pragma once

#include "platform/BlockDevices.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace halcyra::testing {

// Builds a sysfs tree of block devices under a folder, with the layout the kernel uses: device folders
// under devices/, partitions inside their disk's folder, "slaves" links below mapped devices, and
// dev/block/MAJOR:MINOR links to every device.
class FakeSysfs {
public:
    explicit FakeSysfs(std::string sysRoot) : m_root(std::move(sysRoot)) {
        std::filesystem::create_directories(m_root + "/dev/block");
    }

    const std::string& root() const { return m_root; }

    // A whole disk at devices/`folder` (the kernel name is the folder's last component).
    std::string addDisk(const std::string& folder, DeviceNumber number, bool removable) {
        const std::string dir = m_root + "/devices/" + folder;
        std::filesystem::create_directories(dir);
        write(dir + "/removable", removable ? "1\n" : "0\n");
        write(dir + "/uevent", "MAJOR=" + std::to_string(number.major) + "\nDEVNAME=" + name(dir) + "\n");
        link(number, dir);
        return dir;
    }

    std::string addPartition(const std::string& diskDir, const std::string& partition, DeviceNumber number) {
        const std::string dir = diskDir + "/" + partition;
        std::filesystem::create_directories(dir);
        write(dir + "/partition", "1\n");
        write(dir + "/uevent", "DEVNAME=" + partition + "\n");
        link(number, dir);
        return dir;
    }

    // A mapped device (encryption, LVM) stored on `below`.
    std::string addMapped(const std::string& kernelName, DeviceNumber number,
                          const std::vector<std::string>& below) {
        const std::string dir = m_root + "/devices/virtual/block/" + kernelName;
        std::filesystem::create_directories(dir + "/slaves");
        write(dir + "/removable", "0\n");
        for (const std::string& device : below)
            std::filesystem::create_directory_symlink(device, dir + "/slaves/" + name(device));
        link(number, dir);
        return dir;
    }

    // dev/block/MAJOR:MINOR -> `deviceDir`.
    void link(DeviceNumber number, const std::string& deviceDir) {
        const std::string entry =
            m_root + "/dev/block/" + std::to_string(number.major) + ":" + std::to_string(number.minor);
        std::filesystem::remove(entry);
        std::filesystem::create_directory_symlink(deviceDir, entry);
    }

    static void write(const std::string& file, const std::string& text) { std::ofstream(file) << text; }

    static DeviceNumber deviceOf(const std::string& path) {
        struct stat info {};
        EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
        return {major(info.st_dev), minor(info.st_dev)};
    }

private:
    static std::string name(const std::string& dir) { return dir.substr(dir.rfind('/') + 1); }

    std::string m_root;
};

} // namespace halcyra::testing
