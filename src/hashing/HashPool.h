#pragma once

#include "hashing/FileReader.h"
#include "hashing/Hashing.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace halcyra {

// An open folder whose entries are handed to a HashPool by name; owns the descriptor, which closes when
// the last file named in it has been hashed.
class OpenFolder {
public:
    explicit OpenFolder(int fd) : m_fd(fd) {}
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// The cores this thread may run on (online and in its affinity mask), between 1 and 16.
unsigned usableCores();

// Whether the block device `device` (a stat's st_dev) reports itself rotational in the sysfs tree at
// `sysRoot` (dev/block/MAJOR:MINOR/queue/rotational, or its disk's for a partition). False when the file
// system has no block device (tmpfs, overlays) or the device does not say.
bool onRotationalDisk(dev_t device, const std::string& sysRoot = "/sys");

// How the files under one folder are hashed.
struct HashPlan {
    HashPlan(unsigned threads = 1, bool rotational = false, ContentReads* reads = nullptr)
        : threads(threads), rotational(rotational), reads(reads) {}

    // Threads that hash; one hashes on the caller's thread.
    unsigned threads;
    // The folder lies on a disk that reports itself rotational, where reads in parallel make it seek: the
    // workers read only what the page cache holds, and one thread reads whatever must come from the disk,
    // in the order the files were handed in.
    bool rotational;
    // How contents are read; null: the system's reads.
    ContentReads* reads;

    bool operator==(const HashPlan&) const = default;
};

// The plan for the files under `folder`: usableCores() threads, rotational as onRotationalDisk says for
// its file system (`sysRoot` as there). One thread when the folder cannot be examined.
HashPlan hashPlanFor(const std::string& folder, const std::string& sysRoot = "/sys");

// Hashes files with worker threads and gives the results back in the order the files were handed in.
// The workers hash ahead of the caller within a bounded window of files, so memory stays bounded whatever
// the number of files; each file is hashed by one worker from start to end, and workers take the files
// waiting for them a few at a time. On a rotational disk the workers read only what the page cache holds;
// a file whose contents must come from the disk is handed whole to one more thread, which reads such files
// one after the other, oldest first. With one thread nothing runs ahead: take() hashes the oldest file
// itself, on the caller's thread, as a plain TFileHashing loop would.
// Every call comes from the one thread that owns the pool.
class HashPool {
public:
    static constexpr std::chrono::milliseconds PollInterval{50};

    // `hashType` as TFileHashing's; `threads` 0 or 1 hashes on the caller's thread.
    HashPool(std::uint8_t hashType, unsigned threads) : HashPool(hashType, HashPlan(threads)) {}
    HashPool(std::uint8_t hashType, const HashPlan& plan);
    // Stops as stop() does.
    ~HashPool();
    HashPool(const HashPool&) = delete;
    HashPool& operator=(const HashPool&) = delete;

    // Worker threads; 0 when the caller's thread hashes.
    unsigned threads() const { return static_cast<unsigned>(m_workers.size()); }
    // Workers waiting for files to be handed in.
    unsigned idleWorkers() const { return m_idle.load(); }
    // Files handed in and not yet taken.
    std::size_t pending() const { return m_submitted.load(std::memory_order_relaxed) - m_taken; }
    // True when the window is full: take() before handing in another file.
    bool full() const { return pending() >= m_window; }

    // Hands in the next file by its path.
    void submit(std::string path);
    // Hands in the entry `name` of `folder`, which a stat (following links) found to be `seen`; the entry
    // must still be that file when it is opened.
    void submit(std::shared_ptr<const OpenFolder> folder, std::string name, const struct stat& seen);
    // Hands in the entry `name` of `folder` that its listing called a regular file, not looked at since: it
    // is looked at once open (see takenStat()).
    void submitListed(std::shared_ptr<const OpenFolder> folder, std::string name);
    // Likewise the file at `path`, which a listing called a regular file.
    void submitListed(std::string path);

    // The hash text of the oldest file not yet taken (the empty text when it cannot be read). With `poll`
    // given, asks it about every PollInterval while waiting (with one thread: between blocks of the file,
    // as HashFile does); when it answers true the pool stops and no value comes back. Requires pending() > 0.
    std::optional<std::string> take(const StopPoll* poll = nullptr);
    // For a file handed in by submitListed(): what the last take() found there (TFileHashing::LastFileStat).
    const struct stat* takenStat() const { return m_takenLookedAt ? &m_takenStat : nullptr; }

    // Stops handing out files and drops every result not yet taken; workers leave the file they are hashing
    // at its next block. Returns once every worker has ended. Nothing can be handed in or taken afterwards.
    void stop();

private:
    struct Job {
        std::string name; // the path, or the entry's name in `folder`
        std::shared_ptr<const OpenFolder> folder;
        struct stat seen {};
        bool listed = false; // not looked at: `seen` is what the hasher found, when `lookedAt`
        std::string result;
        bool lookedAt = false;
        std::atomic<bool> done{false}; // set once `result` is written

        void reset() {
            name.clear();
            folder.reset();
            result.clear();
            done.store(false, std::memory_order_relaxed);
        }
    };

    Job& slot(std::size_t sequence) { return m_jobs[sequence % m_jobs.size()]; }
    Job& enqueue();
    void published();
    static std::string hashJob(TFileHashing& hasher, const Job& job, const StopPoll* poll);
    void finish(std::size_t sequence, std::string result, const TFileHashing& hasher);
    void work();
    void readFromDisk();

    std::uint8_t m_hashType;
    HashPlan m_plan;
    ContentReads* m_reads;
    std::size_t m_window;
    std::vector<Job> m_jobs;                   // ring of m_window slots; job n sits in slot n % m_window
    std::unique_ptr<TFileHashing> m_ownHasher; // the caller's hasher when there are no workers
    std::vector<std::thread> m_workers;
    std::thread m_diskReader; // on a rotational disk: reads the files that must come from it
    struct stat m_takenStat {};
    bool m_takenLookedAt = false;

    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_resultDone;
    std::condition_variable m_diskWork;
    // Sequence numbers: handed in (written by the owner), claimed by the workers (written under the mutex),
    // taken by the owner.
    std::atomic<std::size_t> m_submitted{0};
    std::atomic<std::size_t> m_claimed{0};
    std::size_t m_taken = 0;
    std::atomic<unsigned> m_idle{0};        // workers waiting for files (changed under the mutex)
    std::atomic<bool> m_wakePending{false}; // the owner has woken a worker that has not woken yet
    std::vector<std::size_t> m_diskQueue;   // jobs for the disk reader, a heap with the oldest on top
    bool m_stopped = false;                 // under the mutex
    // The job the caller waits for; NotWaiting when it does not wait. Whoever finishes it wakes it.
    static constexpr std::size_t NotWaiting = ~std::size_t{0};
    std::atomic<std::size_t> m_waitingFor{NotWaiting};
    std::atomic<bool> m_stopping{false}; // polled by workers between blocks of a file
};

} // namespace halcyra
