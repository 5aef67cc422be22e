#include "hashing/HashPool.h"

#include "base/LongPath.h"

#include <algorithm>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sched.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace halcyra {

namespace {

constexpr unsigned MaxThreads = 16;

// Files that wait for a worker before the owner wakes an idle one, and the most a worker takes at once.
// Waking a thread or taking the lock per file costs more than hashing a small file; a worker that takes
// files ahead of the others holds up the results of its last ones.
constexpr std::size_t WakeBatch = 8;
constexpr std::size_t MaxBatch = 8;

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

HashPlan hashPlanFor(const std::string& folder, const std::string& sysRoot) {
    struct stat st;
    if (statLongPath(folder, st, true) != 0)
        return HashPlan(1);
    return HashPlan(usableCores(), onRotationalDisk(st.st_dev, sysRoot));
}

HashPool::HashPool(std::uint8_t hashType, const HashPlan& plan)
    : m_hashType(hashType), m_plan(plan), m_reads(plan.reads ? plan.reads : &ContentReads::real()),
      m_window(windowFor(plan.threads)), m_jobs(m_window) {
    const unsigned threads = std::min(plan.threads, MaxThreads);
    if (threads <= 1) {
        m_ownHasher = std::make_unique<TFileHashing>(hashType);
        m_ownHasher->UseReads(*m_reads, false);
        return;
    }
    m_workers.reserve(threads);
    try {
        for (unsigned i = 0; i < threads; ++i)
            m_workers.emplace_back([this] { work(); });
        if (plan.rotational)
            m_diskReader = std::thread([this] { readFromDisk(); });
    } catch (...) {
        stop();
        throw;
    }
}

HashPool::~HashPool() {
    stop();
}

HashPool::Job& HashPool::enqueue() {
    return slot(m_submitted.load(std::memory_order_relaxed));
}

void HashPool::published() {
    const std::size_t submitted = m_submitted.load(std::memory_order_relaxed) + 1;
    m_submitted.store(submitted);
    if (m_workers.empty())
        return;
    // Idle workers are woken once a few files wait for them (one wakes the next when more wait), and by
    // take() before it waits. The lock orders the wake after a worker's last look for files.
    if (m_idle.load() > 0 && submitted - m_claimed.load(std::memory_order_relaxed) >= WakeBatch &&
        !m_wakePending.exchange(true)) {
        { const std::lock_guard lock(m_mutex); }
        m_workAvailable.notify_one();
    }
}

void HashPool::submit(std::string path) {
    Job& job = enqueue();
    job.name = std::move(path);
    job.listed = false;
    published();
}

void HashPool::submit(std::shared_ptr<const OpenFolder> folder, std::string name, const struct stat& seen) {
    Job& job = enqueue();
    job.name = std::move(name);
    job.folder = std::move(folder);
    job.seen = seen;
    job.listed = false;
    published();
}

void HashPool::submitListed(std::shared_ptr<const OpenFolder> folder, std::string name) {
    Job& job = enqueue();
    job.name = std::move(name);
    job.folder = std::move(folder);
    job.listed = true;
    published();
}

void HashPool::submitListed(std::string path) {
    Job& job = enqueue();
    job.name = std::move(path);
    job.listed = true;
    published();
}

std::string HashPool::hashJob(TFileHashing& hasher, const Job& job, const StopPoll* poll) {
    static const StopPoll never;
    const StopPoll& stop = poll != nullptr ? *poll : never;
    if (job.listed)
        return hasher.HashListedFileAt(job.folder ? job.folder->fd() : AT_FDCWD, job.name, stop);
    if (!job.folder)
        return hasher.HashFile(job.name, stop);
    return hasher.HashFileAt(job.folder->fd(), job.name, job.seen, stop);
}

std::optional<std::string> HashPool::take(const StopPoll* poll) {
    Job& job = slot(m_taken);
    if (m_workers.empty()) {
        std::string hash = hashJob(*m_ownHasher, job, poll);
        m_takenLookedAt = m_ownHasher->LastFileStat() != nullptr;
        if (m_takenLookedAt)
            m_takenStat = *m_ownHasher->LastFileStat();
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
        // The file may wait unclaimed behind fewer files than wake a worker.
        if (m_idle.load() > 0 && m_claimed.load() < m_submitted.load())
            m_workAvailable.notify_one();
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
    // No thread touches a done slot again; the next hand-in publishes it anew.
    std::string hash = std::move(job.result);
    m_takenLookedAt = job.listed && job.lookedAt;
    if (m_takenLookedAt)
        m_takenStat = job.seen;
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
    m_diskWork.notify_all();
    for (std::thread& worker : m_workers)
        if (worker.joinable())
            worker.join();
    if (m_diskReader.joinable())
        m_diskReader.join();
    for (Job& job : m_jobs)
        job.reset();
    m_taken = m_submitted.load();
}

void HashPool::finish(std::size_t sequence, std::string result, const TFileHashing& hasher) {
    Job& job = slot(sequence);
    job.result = std::move(result);
    job.lookedAt = hasher.LastFileStat() != nullptr;
    if (job.lookedAt)
        job.seen = *hasher.LastFileStat();
    job.done.store(true);
    if (m_waitingFor.load() == sequence) {
        const std::lock_guard lock(m_mutex);
        m_resultDone.notify_one();
    }
}

void HashPool::work() {
    TFileHashing hasher(m_hashType);
    hasher.UseReads(*m_reads, m_plan.rotational);
    const StopPoll stopping = [this] { return m_stopping.load(std::memory_order_relaxed); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::size_t submitted = m_submitted.load();
        if (!m_stopped && m_claimed.load() == submitted) {
            m_idle.fetch_add(1);
            // Looked at again after counting as idle: a file handed in meanwhile either shows here, or
            // its owner sees this worker idle and wakes it.
            while (!m_stopped && m_claimed.load() == (submitted = m_submitted.load())) {
                m_workAvailable.wait(lock);
                m_wakePending.store(false);
            }
            m_idle.fetch_sub(1);
        }
        if (m_stopped)
            return;
        // A share of the waiting files, so that the others have some too.
        const std::size_t first = m_claimed.load();
        const std::size_t waiting = submitted - first;
        const std::size_t count = std::clamp<std::size_t>(waiting / m_workers.size(), 1, MaxBatch);
        m_claimed.store(first + count);
        if (m_idle.load() > 0 && waiting - count >= WakeBatch)
            m_workAvailable.notify_one();
        lock.unlock();
        for (std::size_t sequence = first; sequence < first + count && !stopping(); ++sequence) {
            std::string result = hashJob(hasher, slot(sequence), &stopping);
            if (hasher.LastHashWouldWait()) {
                // Its contents must come from the disk: the disk reader starts it again.
                lock.lock();
                m_diskQueue.push_back(sequence);
                std::push_heap(m_diskQueue.begin(), m_diskQueue.end(), std::greater<>());
                lock.unlock();
                m_diskWork.notify_one();
                continue;
            }
            finish(sequence, std::move(result), hasher);
        }
        lock.lock();
    }
}

void HashPool::readFromDisk() {
    TFileHashing hasher(m_hashType);
    hasher.UseReads(*m_reads, false);
    const StopPoll stopping = [this] { return m_stopping.load(std::memory_order_relaxed); };
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (!m_stopped && m_diskQueue.empty())
            m_diskWork.wait(lock);
        if (m_stopped)
            return;
        std::pop_heap(m_diskQueue.begin(), m_diskQueue.end(), std::greater<>());
        const std::size_t sequence = m_diskQueue.back();
        m_diskQueue.pop_back();
        lock.unlock();
        std::string result = hashJob(hasher, slot(sequence), &stopping);
        finish(sequence, std::move(result), hasher);
        lock.lock();
    }
}

} // namespace halcyra
