#include "hashing/HashPool.h"

#include "../base/DeepTree.h"
#include "RandomTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sched.h>
#include <set>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

using namespace halcyra;

namespace {

// Reads as a cold disk would for chosen files: a read without waiting fails with the error `cold` gives
// for the file's index and the bytes already read from it (0: the page cache has it). Every read really
// waits, so the answers depend on nothing else. Records which thread read which file how.
class ColdReads : public ContentReads {
public:
    explicit ColdReads(const std::vector<std::string>& paths) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            struct stat st {};
            if (::stat(paths[i].c_str(), &st) == 0)
                m_index[st.st_ino] = i;
        }
    }

    std::function<int(std::size_t index, off_t at)> cold = [](std::size_t, off_t) { return 0; };
    // With a value, the first read that waits for the disk waits until that many files were answered cold.
    std::optional<std::size_t> holdDiskUntilCold;

    ssize_t read(int fd, std::uint8_t* buffer, std::size_t size, bool noWait) override {
        struct stat st {};
        ::fstat(fd, &st);
        const std::size_t index = m_index.count(st.st_ino) ? m_index.at(st.st_ino) : ~std::size_t{0};
        const int error = noWait ? cold(index, ::lseek(fd, 0, SEEK_CUR)) : 0;
        {
            std::unique_lock lock(m_mutex);
            (noWait ? cachedBy : diskBy).insert(std::this_thread::get_id());
            if (error != 0) {
                answeredCold.insert(index);
                m_changed.notify_all();
            } else if (!noWait) {
                if (holdDiskUntilCold) {
                    EXPECT_TRUE(m_changed.wait_for(lock, std::chrono::seconds(20), [this] {
                        return answeredCold.size() >= *holdDiskUntilCold;
                    }));
                }
                if (diskOrder.empty() || diskOrder.back() != index)
                    diskOrder.push_back(index);
            }
        }
        if (error != 0) {
            errno = error;
            return -1;
        }
        return ContentReads::read(fd, buffer, size, false);
    }

    std::set<std::thread::id> cachedBy, diskBy; // threads that read without waiting, and waiting
    std::set<std::size_t> answeredCold;
    std::vector<std::size_t> diskOrder; // files read waiting, in the order their reads began

private:
    std::map<ino_t, std::size_t> m_index;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// Hashes `paths` through a pool of `plan`, handing files in while the window has room.
std::vector<std::string> hashThroughPool(std::uint8_t kind, const HashPlan& plan,
                                         const std::vector<std::string>& paths) {
    HashPool pool(kind, plan);
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
        // On a rotational disk: the system's reads, then some files cold from the start, some after their
        // first block, some on a file system that cannot tell.
        ColdReads coldReads(paths);
        coldReads.cold = [](std::size_t index, off_t at) {
            return index % 3 == 0             ? EAGAIN
                   : index % 5 == 0 && at > 0 ? EAGAIN
                   : index % 7 == 0           ? EOPNOTSUPP
                                              : 0;
        };
        for (const unsigned threads : {1u, 2u, 8u}) {
            EXPECT_EQ(hashThroughPool(kind, threads, paths), expected) << "threads " << threads;
            EXPECT_EQ(hashThroughPool(kind, HashPlan(threads, true), paths), expected)
                << "threads " << threads;
            EXPECT_EQ(hashThroughPool(kind, HashPlan(threads, true, &coldReads), paths), expected)
                << "threads " << threads;
        }
        EXPECT_GT(coldReads.answeredCold.size(), paths.size() / 3);
    }
    std::filesystem::remove_all(root);
}

TEST(HashPool, OnARotationalDiskOneThreadReadsTheColdFilesOldestFirst) {
    const std::string root = halcyra::testing::makeTempFolder("poolcold");
    std::vector<std::string> paths;
    std::vector<std::string> expected;
    TFileHashing reference(TFileHashing::KindMD5);
    for (int i = 0; i < 48; ++i) {
        paths.push_back(root + "/f" + std::to_string(i));
        std::ofstream(paths.back()) << std::string(static_cast<std::size_t>(i) * 6000,
                                                   static_cast<char>('a' + i % 26));
        expected.push_back(reference.HashFile(paths.back()));
    }
    const auto isCold = [](std::size_t index) { return index % 3 == 1 || index % 10 == 0; };
    std::vector<std::size_t> coldFiles;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (isCold(i))
            coldFiles.push_back(i);

    for (const unsigned threads : {1u, 2u, 8u}) {
        ColdReads reads(paths);
        reads.cold = [&isCold](std::size_t index, off_t at) {
            // Files of more than one block: some cold only after their first.
            return !isCold(index) ? 0 : index % 9 == 0 ? EOPNOTSUPP : index > 30 && at == 0 ? 0 : EAGAIN;
        };
        if (threads > 1) // every file is handed in before any is taken; the disk waits for all cold answers
            reads.holdDiskUntilCold = coldFiles.size();
        EXPECT_EQ(hashThroughPool(TFileHashing::KindMD5, HashPlan(threads, true, &reads), paths), expected);
        if (threads == 1) { // the caller reads every file itself, waiting
            EXPECT_TRUE(reads.cachedBy.empty());
            EXPECT_EQ(reads.diskBy, std::set{std::this_thread::get_id()});
            continue;
        }
        EXPECT_EQ(std::set(reads.diskOrder.begin(), reads.diskOrder.end()),
                  std::set(coldFiles.begin(), coldFiles.end()))
            << "threads " << threads;
        // The first was taken before the others were handed over: from then on, oldest first.
        EXPECT_TRUE(std::is_sorted(reads.diskOrder.begin() + 1, reads.diskOrder.end()))
            << "threads " << threads;
        ASSERT_EQ(reads.diskBy.size(), 1u);
        EXPECT_EQ(reads.cachedBy.count(*reads.diskBy.begin()), 0u);
        EXPECT_EQ(reads.cachedBy.count(std::this_thread::get_id()), 0u);
        EXPECT_LE(reads.cachedBy.size(), threads);
    }
    std::filesystem::remove_all(root);
}

// Workers that found nothing to do sleep; the files handed in afterwards are fewer than wake one.
TEST(HashPool, AFewFilesHandedToIdleWorkersAreHashed) {
    const std::string root = halcyra::testing::makeTempFolder("poolidle");
    std::vector<std::string> paths;
    for (const char* text : {"a", "bb", "ccc"}) {
        paths.push_back(root + "/" + text);
        std::ofstream(paths.back()) << text;
    }
    TFileHashing reference(TFileHashing::KindCRC32);
    for (const HashPlan& plan : {HashPlan(2), HashPlan(8), HashPlan(8, true)}) {
        HashPool pool(TFileHashing::KindCRC32, plan);
        for (std::size_t files = 1; files <= paths.size(); ++files) {
            while (pool.idleWorkers() < plan.threads)
                std::this_thread::yield();
            for (std::size_t i = 0; i < files; ++i)
                pool.submit(paths[i]);
            for (std::size_t i = 0; i < files; ++i) {
                int polls = 0; // a pool that never hashes the file gives up after about five seconds
                const StopPoll poll = [&polls] { return ++polls == 100; };
                ASSERT_EQ(pool.take(&poll), reference.HashFile(paths[i]))
                    << plan.threads << " threads, " << files;
            }
        }
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
    EXPECT_EQ(hashPlanFor(sys + "/no such folder"), HashPlan(1));
    fs::remove_all(sys);
}

// A thread restricted to fewer cores than the machine has, on a folder whose device the sysfs tree calls
// rotational or not.
TEST(HashThreads, PlansFollowTheAffinityMaskAndTheDiskKind) {
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    std::vector<int> cpus;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, &allowed))
            cpus.push_back(cpu);
    if (cpus.size() < 3)
        GTEST_SKIP() << "fewer than three cores to choose from";

    const std::string folder = halcyra::testing::makeTempFolder("plan");
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    const std::string node =
        "/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    std::map<char, std::string> sys; // rotational flag -> sysfs tree
    for (const char flag : {'0', '1'}) {
        sys[flag] = folder + "/sys" + flag;
        std::filesystem::create_directories(sys[flag] + node + "/queue");
        std::ofstream(sys[flag] + node + "/queue/rotational") << flag << "\n";
    }
    for (const unsigned cores : {1u, 2u}) {
        std::thread([&] {
            cpu_set_t mask;
            CPU_ZERO(&mask);
            for (unsigned i = 0; i < cores; ++i)
                CPU_SET(cpus[i], &mask);
            ASSERT_EQ(sched_setaffinity(0, sizeof mask, &mask), 0); // this thread only
            EXPECT_EQ(usableCores(), cores);
            EXPECT_EQ(hashPlanFor(folder, sys['1']), HashPlan(cores, true));
            EXPECT_EQ(hashPlanFor(folder, sys['0']), HashPlan(cores, false));
        }).join();
    }
    std::filesystem::remove_all(folder);
}
