#include "hashing/HashPool.h"

#include "base/LongPath.h"

#include <algorithm>
#include <fstream>
#include <sched.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr unsigned MaxThreads = 16;

// Files that wait for a worker before an idle one is woken.
constexpr std::size_t WakeBatch = 4;

// Files a worker may run ahead of the caller: enough that a few larger files do not leave the other
// workers idle, few enough that the open folders they name stay far below the descriptor limit.
std::size_t windowFor(unsigned threads) {
    return threads <= 1 ? 1 : std::max<std::size_t>(64, std::size_t{threads} * 32);
}

// The first character of the file, or '\0' when it cannot be read.
char firstCharOf(const std::string& path) {
    std::ifstream in(path);
    char c = '\0';
    in.get(c);
    return in ? c : '\0';
}

} // namespace

OpenFolder::~OpenFolder() {
    if (m_fd >= 0)
        ::close(m_fd);
}

unsigned usableCores() {
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0)
        online = online > 0 ? std::min<long>(online, CPU_COUNT(&allowed)) : CPU_COUNT(&allowed);
    return static_cast<unsigned>(std::clamp<long>(online, 1, MaxThreads));
}

bool onRotationalDisk(dev_t device, const std::string& sysRoot) {
    const std::string node =
        sysRoot + "/dev/block/" + std::to_string(major(device)) + ':' + std::to_string(minor(device));
    // A partition has no queue of its own: its disk, the folder above it, has.
    const char own = firstCharOf(node + "/queue/rotational");
    const char flag = own != '\0' ? own : firstCharOf(node + "/../queue/rotational");
    return flag == '1';
}

unsigned hashThreadsFor(const std::string& folder) {
    struct stat st;
    if (statLongPath(folder, st, true) != 0)
        return 1;
    return onRotationalDisk(st.st_dev) ? 1 : usableCores();
}

HashPool::HashPool(std::uint8_t hashType, unsigned threads)
    : m_hashType(hashType), m_window(windowFor(threads)), m_jobs(m_window) {
    threads = std::min(threads, MaxThreads);
    if (threads <= 1) {
        m_ownHasher = std::make_unique<TFileHashing>(hashType);
        return;
    }
    m_workers.reserve(threads);
    try {
        for (unsigned i = 0; i < threads; ++i)
            m_workers.emplace_back([this] { work(); });
    } catch (...) {
        stop();
        throw;
    }
}

HashPool::~HashPool() {
    stop();
}

void HashPool::submit(std::string path) {
    enqueue(std::move(path), nullptr, {});
}

void HashPool::submit(std::shared_ptr<const OpenFolder> folder, std::string name, const struct stat& seen) {
    enqueue(std::move(name), std::move(folder), seen);
}

void HashPool::enqueue(std::string name, std::shared_ptr<const OpenFolder> folder, const struct stat& seen) {
    bool wake = false;
    {
        std::unique_lock lock(m_mutex, std::defer_lock);
        if (!m_workers.empty())
            lock.lock();
        Job& job = slot(m_submitted);
        job.name = std::move(name);
        job.folder = std::move(folder);
        job.seen = seen;
        ++m_submitted;
        // Waking a worker for every file costs more than hashing a small one: idle workers are woken once
        // a few files wait for them, and by take() before it waits.
        wake = m_idle > 0 && m_submitted - m_claimed >= WakeBatch;
    }
    if (wake)
        m_workAvailable.notify_one();
}

std::string HashPool::hashJob(TFileHashing& hasher, const Job& job, const StopPoll* poll) {
    static const StopPoll never;
    const StopPoll& stop = poll != nullptr ? *poll : never;
    if (job.folder)
        return hasher.HashFileAt(job.folder->fd(), job.name, job.seen, stop);
    return hasher.HashFile(job.name, stop);
}

std::optional<std::string> HashPool::take(const StopPoll* poll) {
    Job& job = slot(m_taken);
    if (m_workers.empty()) {
        std::string hash = hashJob(*m_ownHasher, job, poll);
        job.reset();
        ++m_taken;
        if (m_ownHasher->LastHashStopped()) {
            stop();
            return std::nullopt;
        }
        return hash;
    }
    if (!job.done.load(std::memory_order_acquire)) {
        std::unique_lock lock(m_mutex);
        if (m_idle > 0 && m_claimed < m_submitted)
            m_workAvailable.notify_all();
        auto nextPoll = std::chrono::steady_clock::now() + PollInterval;
        m_waitingFor.store(m_taken);
        while (!job.done.load()) {
            if (poll == nullptr) {
                m_resultDone.wait(lock);
            } else if (m_resultDone.wait_until(lock, nextPoll) == std::cv_status::timeout &&
                       !job.done.load()) {
                m_waitingFor.store(NotWaiting);
                lock.unlock();
                if ((*poll)()) {
                    stop();
                    return std::nullopt;
                }
                lock.lock();
                nextPoll = std::chrono::steady_clock::now() + PollInterval;
                m_waitingFor.store(m_taken);
            }
        }
        m_waitingFor.store(NotWaiting);
    }
    // No worker touches a done slot again; the next submit() into it publishes it under the mutex.
    std::string hash = std::move(job.result);
    job.reset();
    ++m_taken;
    return hash;
}

void HashPool::stop() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopped)
            return;
        m_stopped = true;
        m_stopping.store(true, std::memory_order_relaxed);
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers)
        if (worker.joinable())
            worker.join();
    for (Job& job : m_jobs)
        job.reset();
    m_taken = m_submitted;
}

void HashPool::work() {
    TFileHashing hasher(m_hashType);
    const StopPoll stopping = [this] { return m_stopping.load(std::memory_order_relaxed); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (!m_stopped && m_claimed == m_submitted) {
            ++m_idle;
            m_workAvailable.wait(lock);
            --m_idle;
        }
        if (m_stopped)
            return;
        const std::size_t sequence = m_claimed++;
        // More files waiting than this worker takes: another idle worker can start on them.
        if (m_idle > 0 && m_submitted - m_claimed >= WakeBatch)
            m_workAvailable.notify_one();
        Job& job = slot(sequence);
        lock.unlock();
        job.result = hashJob(hasher, job, &stopping);
        job.done.store(true);
        if (m_waitingFor.load() == sequence) {
            lock.lock();
            m_resultDone.notify_one();
        } else {
            lock.lock();
        }
    }
}

} // namespace halcyra
