#include "hashing/HashPool.h"

#include "../base/DeepTree.h"
#include "RandomTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace halcyra;

namespace {

// Hashes `paths` through a pool of `threads`, handing files in while the window has room.
std::vector<std::string> hashThroughPool(std::uint8_t kind, unsigned threads,
                                         const std::vector<std::string>& paths) {
    HashPool pool(kind, threads);
    std::vector<std::string> hashes;
    std::size_t next = 0;
    while (hashes.size() < paths.size()) {
        while (next < paths.size() && !pool.full())
            pool.submit(paths[next++]);
        hashes.push_back(pool.take().value());
    }
    EXPECT_EQ(pool.pending(), 0u);
    return hashes;
}

} // namespace

TEST(HashPool, GivesEveryThreadCountTheOneThreadResultsInOrder) {
    const std::string root = halcyra::testing::makeTempFolder("pool");
    std::vector<std::string> paths;
    for (const std::string& name : halcyra::testing::buildRandomTree(root, 7, 400))
        paths.push_back(root + "/" + name);
    paths.push_back(root + "/vanished");
    paths.push_back(root + "/a"); // a folder

    for (const std::uint8_t kind : {TFileHashing::KindMD5, TFileHashing::KindCRC32}) {
        TFileHashing reference(kind);
        std::vector<std::string> expected;
        for (const std::string& path : paths)
            expected.push_back(reference.HashFile(path));
        ASSERT_GT(std::count(expected.begin(), expected.end(), ""), 10); // unreadable ones among them
        for (const unsigned threads : {1u, 2u, 8u})
            EXPECT_EQ(hashThroughPool(kind, threads, paths), expected) << "threads " << threads;
    }
    std::filesystem::remove_all(root);
}

// Hundreds of GiB of holes: hashing it would take minutes, so a pool that returns has stopped inside it.
TEST(HashPool, StopInsideAHugeFileDropsEveryResultInFlight) {
    const std::string root = halcyra::testing::makeTempFolder("poolstop");
    const std::string huge = root + "/huge";
    std::ofstream(huge).close();
    ASSERT_EQ(::truncate(huge.c_str(), off_t{512} << 30), 0);
    std::ofstream(root + "/small") << "x";

    for (const unsigned threads : {1u, 4u}) {
        HashPool pool(TFileHashing::KindMD5, threads);
        pool.submit(root + "/small");
        if (!pool.full()) {
            pool.submit(huge);
            pool.submit(root + "/small");
        }
        EXPECT_EQ(pool.take().value().size(), 32u);
        int polls = 0;
        const StopPoll poll = [&polls] { return ++polls == 1; };
        if (threads == 1)
            pool.submit(huge);
        EXPECT_EQ(pool.take(&poll), std::nullopt) << "threads " << threads;
        EXPECT_EQ(polls, 1);
        EXPECT_EQ(pool.pending(), 0u);
    }
    std::filesystem::remove_all(root);
}

TEST(HashThreads, APartitionOrDiskThatSaysRotationalGetsOneThread) {
    const std::string sys = halcyra::testing::makeTempFolder("sysfs");
    namespace fs = std::filesystem;
    fs::create_directories(sys + "/dev/block");
    fs::create_directories(sys + "/devices/sda/sda1");
    fs::create_directories(sys + "/devices/sda/queue");
    fs::create_directories(sys + "/devices/nvme0n1/queue");
    std::ofstream(sys + "/devices/sda/sda1/partition") << "1\n";
    std::ofstream(sys + "/devices/sda/queue/rotational") << "1\n";
    std::ofstream(sys + "/devices/nvme0n1/queue/rotational") << "0\n";
    fs::create_directory_symlink("../../devices/sda", sys + "/dev/block/8:0");
    fs::create_directory_symlink("../../devices/sda/sda1", sys + "/dev/block/8:1");
    fs::create_directory_symlink("../../devices/nvme0n1", sys + "/dev/block/259:0");

    EXPECT_TRUE(onRotationalDisk(makedev(8, 0), sys));
    EXPECT_TRUE(onRotationalDisk(makedev(8, 1), sys));
    EXPECT_FALSE(onRotationalDisk(makedev(259, 0), sys));
    EXPECT_FALSE(onRotationalDisk(makedev(0, 42), sys)); // tmpfs and the like: no block device
    EXPECT_GE(usableCores(), 1u);
    EXPECT_LE(usableCores(), 16u);
    EXPECT_EQ(hashThreadsFor(sys + "/no such folder"), 1u);
    fs::remove_all(sys);
}
