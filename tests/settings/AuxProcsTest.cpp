#include "settings/AuxProcs.h"

#include "../platform/FakeSysfs.h"
#include "../platform/TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace halcyra;
using halcyra::testing::FakeSysfs;
using halcyra::testing::TestHome;

namespace {

class BrowseForFolderTest : public ::testing::Test {
protected:
    TestHome m_home;
    ScriptedUiServices m_ui;
};

TEST_F(BrowseForFolderTest, ChosenFolderComesBackWithOneTrailingSlash) {
    std::string folder = m_home.root();
    m_ui.queueText("/srv/data");
    ASSERT_TRUE(BrowseForFolder(m_ui, "Select the folder", folder));
    EXPECT_EQ(folder, "/srv/data/");
    ASSERT_EQ(m_ui.requests().size(), 1u);
    EXPECT_EQ(m_ui.requests()[0].title, "Select the folder");
    EXPECT_EQ(m_ui.requests()[0].initial, m_home.root()); // opens on the given folder

    m_ui.queueText("/");
    ASSERT_TRUE(BrowseForFolder(m_ui, "t", folder));
    EXPECT_EQ(folder, "/");
    m_ui.queueText("/srv/data/");
    ASSERT_TRUE(BrowseForFolder(m_ui, "t", folder));
    EXPECT_EQ(folder, "/srv/data/");
}

TEST_F(BrowseForFolderTest, CancelKeepsAnExistingFolderAndClearsAMissingOne) {
    std::string folder = m_home.root() + "/";
    m_ui.queueText(std::nullopt);
    EXPECT_FALSE(BrowseForFolder(m_ui, "t", folder));
    EXPECT_EQ(folder, m_home.root() + "/");

    for (const std::string& missing : {m_home.root() + "/gone", std::string("relative/nowhere")}) {
        folder = missing;
        m_ui.queueText(std::nullopt);
        EXPECT_FALSE(BrowseForFolder(m_ui, "t", folder));
        EXPECT_EQ(folder, "");
        EXPECT_EQ(m_ui.requests().back().initial, ""); // opened without a preselection
    }

    // A file is not a folder.
    folder = m_home.root() + "/file";
    FakeSysfs::write(folder, "x");
    m_ui.queueText("");
    EXPECT_FALSE(BrowseForFolder(m_ui, "t", folder));
    EXPECT_EQ(folder, "");
}

TEST_F(BrowseForFolderTest, WithoutUiServicesNothingIsChosen) {
    setCurrentUiServices(nullptr);
    std::string folder = m_home.root() + "/gone";
    EXPECT_FALSE(BrowseForFolder("t", folder));
    EXPECT_EQ(folder, "");

    setCurrentUiServices(&m_ui);
    m_ui.queueText("/media");
    EXPECT_TRUE(BrowseForFolder("t", folder));
    EXPECT_EQ(folder, "/media/");
    setCurrentUiServices(nullptr);
}

// The test's own folder is made to look as if it lay on the fake devices.
class EjectMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_target = m_home.root() + "/stick";
        std::filesystem::create_directories(m_target);
        m_real = FakeSysfs::deviceOf(m_target);
        if (m_real.major >= 240 && m_real.major <= 250)
            GTEST_SKIP() << "the temporary folder's device number collides with the fake tree";
        m_sys = std::make_unique<FakeSysfs>(m_home.root() + "/sys");
        m_usb = m_sys->addDisk("pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/block/sdb", {240, 16}, false);
        m_usb1 = m_sys->addPartition(m_usb, "sdb1", {240, 17});
        m_usb2 = m_sys->addPartition(m_usb, "sdb2", {240, 18});
        m_fixed = m_sys->addDisk("pci0000:00/0000:00:17.0/ata1/host0/block/sda", {241, 0}, false);
        m_fixed1 = m_sys->addPartition(m_fixed, "sda1", {241, 1});
        m_crypt = m_sys->addMapped("dm-0", {243, 0}, {m_usb2});
        FakeSysfs::write(m_home.root() + "/mountinfo",
                         "22 1 241:1 / / rw - ext4 /dev/sda1 rw\n"
                         "40 22 240:17 / /media/u/STICK rw - vfat /dev/sdb1 rw\n"
                         "41 22 243:0 / /media/u/my\\040disk rw - ext4 /dev/mapper/luks-1 rw\n"
                         "42 41 240:17 /sub /media/u/my\\040disk/bound rw - vfat /dev/sdb1 rw\n"
                         "43 22 0:5 / /dev rw - devtmpfs udev rw\n");
        m_env.sysRoot = m_sys->root();
        m_env.mountInfo = m_home.root() + "/mountinfo";
        m_env.protectedPaths = std::vector<std::string>{"/proc"};
    }

    // Makes the test folder's own device number stand for `deviceDir`.
    void placeTargetOn(const std::string& deviceDir) { m_sys->link(m_real, deviceDir); }

    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        for (const auto& call : m_backend.calls)
            out.push_back(call.action + " " + call.deviceNode +
                          (call.mountPoint.empty() ? "" : " " + call.mountPoint));
        return out;
    }

    TestHome m_home;
    std::string m_target;
    DeviceNumber m_real;
    std::unique_ptr<FakeSysfs> m_sys;
    std::string m_usb, m_usb1, m_usb2, m_fixed, m_fixed1, m_crypt;
    EjectEnvironment m_env;
    FakeEjectBackend m_backend;
};

TEST_F(EjectMediaTest, UnmountsEveryFileSystemOfTheDiskInnermostFirstThenEjects) {
    placeTargetOn(m_usb1);
    EXPECT_TRUE(EjectMedia(m_target, m_backend, m_env));
    EXPECT_EQ(calls(), (std::vector<std::string>{"unmount /dev/sdb1 /media/u/my disk/bound",
                                                 "unmount /dev/mapper/luks-1 /media/u/my disk",
                                                 "unmount /dev/sdb1 /media/u/STICK", "eject /dev/sdb"}));
}

TEST_F(EjectMediaTest, PathOnAMappedDeviceEjectsTheDiskBelowIt) {
    placeTargetOn(m_crypt);
    EXPECT_TRUE(EjectMedia(m_target + "/", m_backend, m_env));
    EXPECT_EQ(calls().back(), "eject /dev/sdb");
}

TEST_F(EjectMediaTest, RefusesFixedDisksUnknownDevicesAndMissingPaths) {
    placeTargetOn(m_fixed1);
    EXPECT_FALSE(EjectMedia(m_target, m_backend, m_env));
    EXPECT_FALSE(EjectMedia(m_home.root() + "/missing", m_backend, m_env));
    EXPECT_FALSE(EjectMedia("/proc/self", m_backend, m_env)); // no block device at all
    EXPECT_TRUE(m_backend.calls.empty());
}

TEST_F(EjectMediaTest, RefusesTheDiskHoldingTheSettingsOrTheData) {
    placeTargetOn(m_usb1);
    m_env.protectedPaths = std::vector<std::string>{"/proc", m_home.root()};
    EXPECT_FALSE(EjectMedia(m_target, m_backend, m_env));
    m_env.protectedPaths = std::vector<std::string>{m_home.root() + "/unknown"}; // cannot be examined
    EXPECT_FALSE(EjectMedia(m_target, m_backend, m_env));
    m_env.protectedPaths.reset(); // the settings and data folders, which the test home puts on that disk
    EXPECT_FALSE(EjectMedia(m_target, m_backend, m_env));
    EXPECT_TRUE(m_backend.calls.empty());
}

TEST_F(EjectMediaTest, FailedUnmountOrEjectGivesFalse) {
    placeTargetOn(m_usb1);
    m_backend.unmountSucceeds = false;
    EXPECT_FALSE(EjectMedia(m_target, m_backend, m_env));
    EXPECT_EQ(calls().size(), 1u); // stops at the first refusal, never ejects

    m_backend = FakeEjectBackend();
    m_backend.ejectSucceeds = false;
    EXPECT_FALSE(EjectMedia(m_target, m_backend, m_env));
    EXPECT_EQ(calls().back(), "eject /dev/sdb");
}

TEST(EjectMedia, BuiltInBackendRefusesWhatIsNotABlockDevice) {
    IoctlEjectBackend backend;
    EXPECT_FALSE(backend.eject("/dev/null"));
    EXPECT_FALSE(backend.eject("/nonexistent"));
    EXPECT_FALSE(backend.unmount("/dev/sdb1", "/media/x"));
}

TEST(WinVersion, ClassificationTableBoundaries) {
    struct Row {
        std::uint32_t platform, major, minor, build;
        int code;
    };
    const Row rows[] = {
        {0, 4, 0, 0, 0},       {3, 5, 1, 0, 0},     {1, 4, 0, 950, 1},   {1, 4, 0, 1000, 1},
        {1, 4, 9, 1001, 2},    {1, 4, 10, 1998, 3}, {1, 4, 10, 2000, 3}, {1, 4, 10, 2001, 4},
        {1, 4, 10, 2222, 4},   {1, 4, 10, 2700, 4}, {1, 4, 10, 2701, 5}, {1, 4, 11, 0, 5},
        {1, 4, 90, 3000, 5},   {1, 4, 91, 0, 6},    {2, 3, 51, 1057, 7}, {2, 4, 0, 1381, 8},
        {2, 5, 0, 2195, 9},    {2, 5, 1, 2600, 10}, {2, 5, 2, 3790, 11}, {2, 6, 0, 6000, 11},
        {2, 10, 0, 19045, 11},
    };
    for (const Row& row : rows)
        EXPECT_EQ(winVersionCode(row.platform, row.major, row.minor, row.build), row.code)
            << row.platform << " " << row.major << "." << row.minor << "." << row.build;
    EXPECT_TRUE(isWin9xCode(3));  // Windows 98
    EXPECT_FALSE(isWin9xCode(9)); // Windows 2000
    EXPECT_TRUE(isWin9xCode(0));
    EXPECT_TRUE(isWin9xCode(6));
    EXPECT_FALSE(isWin9xCode(7));
    EXPECT_EQ(GetWinVersion(), 0);
    EXPECT_TRUE(IsWin9x());
}

} // namespace
