#pragma once

#include <string>
#include <string_view>

namespace halcyra {

// The lock a run of a profile holds while it is in progress: an exclusive flock on "<profile>_run.lock" in
// the data folder, in this process or another. Commands that replace or move a profile's key and data files
// take the same lock, so they cannot run while a run of that profile writes them, and no run starts while
// they do. The file is removed when the lock is released.
class ProfileRunLock {
public:
    enum class Outcome { Acquired, Busy, Failed };

    ProfileRunLock() = default;
    ~ProfileRunLock() { release(); }
    ProfileRunLock(const ProfileRunLock&) = delete;
    ProfileRunLock& operator=(const ProfileRunLock&) = delete;

    // Takes the lock of `profile` (its stored spelling) without waiting. Busy when another holder has it;
    // Failed when the lock file cannot be made. Except on Acquired, `errorText` says why (busyText for Busy).
    // With `recover`, a housekeeping command on the profile that a killed process left unfinished is then
    // completed or undone first (HousekeepingJournal::recoverFor); when that cannot be done now, the lock
    // is let go again with its outcome.
    Outcome acquire(std::string_view profile, std::string& errorText, bool recover = true);
    void release();
    bool held() const { return m_fd >= 0; }

    // The text for a profile whose lock another holder has.
    static std::string busyText(std::string_view profile);

private:
    Outcome failed(int error, std::string& errorText);

    std::string m_path;
    int m_fd = -1;
};

} // namespace halcyra
