#include "platform/BlockDevices.h"

#include "FakeSysfs.h"
#include "TestHome.h"

#include <gtest/gtest.h>

using namespace halcyra;
using halcyra::testing::FakeSysfs;
using halcyra::testing::TestHome;

namespace {

using Disks = std::vector<std::string>;

class BlockDevicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The tree's own location contains a "usb" component: only what lies inside it may count.
        m_sys = std::make_unique<FakeSysfs>(m_home.root() + "/usb9/sys");
        m_usb = m_sys->addDisk("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb", {240, 16}, false);
        m_usb1 = m_sys->addPartition(m_usb, "sdb1", {240, 17});
        m_usb2 = m_sys->addPartition(m_usb, "sdb2", {240, 18});
        m_fixed = m_sys->addDisk("pci0000:00/0000:00:17.0/ata1/host0/block/sda", {241, 0}, false);
        m_sys->addPartition(m_fixed, "sda1", {241, 1});
        m_optical = m_sys->addDisk("pci0000:00/0000:00:17.0/ata2/host1/block/sr0", {242, 0}, true);
        m_crypt = m_sys->addMapped("dm-0", {243, 0}, {m_usb2});
        m_raid = m_sys->addMapped(
            "md0", {244, 0},
            {m_usb1, m_sys->root() + "/devices/" + "pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda1"});
        FakeSysfs::write(m_home.root() + "/mountinfo",
                         "22 1 241:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                         "40 22 240:17 / /media/u/STICK rw shared:5 master:2 - vfat /dev/sdb1 rw\n"
                         "41 22 243:0 / /media/u/my\\040disk rw - ext4 /dev/mapper/luks-1 rw\n"
                         "garbage line\n"
                         "42 22 0:5 / /dev rw - devtmpfs udev rw\n");
    }

    BlockDevices devices() const { return BlockDevices(m_sys->root(), m_home.root() + "/mountinfo"); }

    TestHome m_home;
    std::unique_ptr<FakeSysfs> m_sys;
    std::string m_usb, m_usb1, m_usb2, m_fixed, m_optical, m_crypt, m_raid;
};

TEST_F(BlockDevicesTest, PartitionsAndMappedDevicesLeadToTheirDisks) {
    const BlockDevices d = devices();
    EXPECT_EQ(d.disksOf({240, 17}), Disks{m_usb});
    EXPECT_EQ(d.disksOf({240, 16}), Disks{m_usb});
    EXPECT_EQ(d.disksOf({242, 0}), Disks{m_optical});
    EXPECT_EQ(d.disksOf({243, 0}), Disks{m_usb});
    EXPECT_EQ(d.disksOf({244, 0}), (Disks{m_fixed, m_usb}));
    EXPECT_TRUE(d.disksOf({0, 5}).empty()); // a virtual file system
    EXPECT_TRUE(d.disksOf({7, 7}).empty());
    EXPECT_TRUE(d.disksOfPath(m_home.root() + "/no such file").empty());
}

TEST_F(BlockDevicesTest, RemovableMeansMarkedRemovableOrOnAUsbBus) {
    const BlockDevices d = devices();
    EXPECT_TRUE(d.isRemovable(m_optical));
    EXPECT_TRUE(d.isRemovable(m_usb));
    EXPECT_FALSE(d.isRemovable(m_fixed));
    EXPECT_FALSE(d.isRemovable(m_crypt));
}

TEST_F(BlockDevicesTest, DeviceNodesComeFromTheKernelName) {
    const BlockDevices d = devices();
    EXPECT_EQ(d.deviceNode(m_usb), "/dev/sdb");
    EXPECT_EQ(d.deviceNode(m_usb1), "/dev/sdb1");
    const std::string folder = m_sys->root() + "/devices/cciss!c0d0";
    std::filesystem::create_directories(folder); // no uevent: the folder name, "!" meaning "/"
    EXPECT_EQ(d.deviceNode(folder), "/dev/cciss/c0d0");
}

TEST_F(BlockDevicesTest, MountTableIsParsedWithEscapesAndBadLinesSkipped) {
    const std::vector<MountEntry> mounts = readMountInfo(m_home.root() + "/mountinfo");
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[1].device, (DeviceNumber{240, 17}));
    EXPECT_EQ(mounts[1].mountPoint, "/media/u/STICK"); // optional fields skipped
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[2].mountPoint, "/media/u/my disk");
    EXPECT_EQ(mounts[3].source, "udev");
    EXPECT_TRUE(readMountInfo(m_home.root() + "/missing").empty());
    EXPECT_FALSE(readMountInfo("/proc/self/mountinfo").empty());
}

} // namespace
