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

// The cores this process may run on (online and in its affinity mask), between 1 and 16.
unsigned usableCores();

// Whether the block device `device` (a stat's st_dev) reports itself rotational in the sysfs tree at
// `sysRoot` (dev/block/MAJOR:MINOR/queue/rotational, or its disk's for a partition). False when the file
// system has no block device (tmpfs, overlays) or the device does not say.
bool onRotationalDisk(dev_t device, const std::string& sysRoot = "/sys");

// How many threads hash the files under `folder`: one when it lies on a rotational disk, where parallel
// reads make the disk seek, else usableCores(). One when the folder cannot be examined.
unsigned hashThreadsFor(const std::string& folder);

// Hashes files with worker threads and gives the results back in the order the files were handed in.
// The workers hash ahead of the caller within a bounded window of files, so memory stays bounded whatever
// the number of files; each file is hashed by one worker from start to end. With one thread nothing runs
// ahead: take() hashes the oldest file itself, on the caller's thread, as a plain TFileHashing loop would.
// Every call comes from the one thread that owns the pool.
class HashPool {
public:
    static constexpr std::chrono::milliseconds PollInterval{50};

    // `hashType` as TFileHashing's; `threads` 0 or 1 hashes on the caller's thread.
    HashPool(std::uint8_t hashType, unsigned threads);
    // Stops as stop() does.
    ~HashPool();
    HashPool(const HashPool&) = delete;
    HashPool& operator=(const HashPool&) = delete;

    // Worker threads; 0 when the caller's thread hashes.
    unsigned threads() const { return static_cast<unsigned>(m_workers.size()); }
    // Files handed in and not yet taken.
    std::size_t pending() const { return m_submitted - m_taken; }
    // True when the window is full: take() before handing in another file.
    bool full() const { return pending() >= m_window; }

    // Hands in the next file by its path.
    void submit(std::string path);
    // Hands in the entry `name` of `folder`, which a stat (following links) found to be `seen`; the entry
    // must still be that file when it is opened.
    void submit(std::shared_ptr<const OpenFolder> folder, std::string name, const struct stat& seen);

    // The hash text of the oldest file not yet taken (the empty text when it cannot be read). With `poll`
    // given, asks it about every PollInterval while waiting (with one thread: between blocks of the file,
    // as HashFile does); when it answers true the pool stops and no value comes back. Requires pending() > 0.
    std::optional<std::string> take(const StopPoll* poll = nullptr);

    // Stops handing out files and drops every result not yet taken; workers leave the file they are hashing
    // at its next block. Returns once every worker has ended. Nothing can be handed in or taken afterwards.
    void stop();

private:
    struct Job {
        std::string name; // the path, or the entry's name in `folder`
        std::shared_ptr<const OpenFolder> folder;
        struct stat seen {};
        std::string result;
        std::atomic<bool> done{false}; // set by the worker once `result` is written

        void reset() {
            name.clear();
            folder.reset();
            result.clear();
            done.store(false, std::memory_order_relaxed);
        }
    };

    Job& slot(std::size_t sequence) { return m_jobs[sequence % m_jobs.size()]; }
    void enqueue(std::string name, std::shared_ptr<const OpenFolder> folder, const struct stat& seen);
    static std::string hashJob(TFileHashing& hasher, const Job& job, const StopPoll* poll);
    void work();

    std::uint8_t m_hashType;
    std::size_t m_window;
    std::vector<Job> m_jobs;                   // ring of m_window slots; job n sits in slot n % m_window
    std::unique_ptr<TFileHashing> m_ownHasher; // the caller's hasher when there are no workers
    std::vector<std::thread> m_workers;

    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_resultDone;
    // Sequence numbers: handed in, claimed by a worker, taken by the caller. Written under the mutex;
    // m_submitted and m_taken only by the owning thread, which may read them without it.
    std::size_t m_submitted = 0;
    std::size_t m_claimed = 0;
    std::size_t m_taken = 0;
    unsigned m_idle = 0; // workers waiting for files
    bool m_stopped = false;
    // The job the caller waits for; NotWaiting when it does not wait. A worker that finishes it wakes it.
    static constexpr std::size_t NotWaiting = ~std::size_t{0};
    std::atomic<std::size_t> m_waitingFor{NotWaiting};
    std::atomic<bool> m_stopping{false}; // polled by workers between blocks of a file
};

} // namespace halcyra
