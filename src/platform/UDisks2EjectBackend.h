#pragma once

#include "platform/EjectBackend.h"

#include <QString>

#include <string>

namespace halcyra {

// Unmounts and ejects through the system's disk service (UDisks2) on the D-Bus system bus. Every request
// waits at most the time-out; a bus or service that is absent or does not answer makes it fail, never hang.
// Needs a running QCoreApplication.
class UDisks2EjectBackend : public EjectBackend {
public:
    // Unmounting flushes the medium's write cache, which can take a while on a slow stick.
    static constexpr int kDefaultTimeoutMs = 30000;

    // Talks to the system bus.
    explicit UDisks2EjectBackend(int timeoutMs = kDefaultTimeoutMs);
    // Talks to the bus at a D-Bus address ("unix:path=..."), for a private bus.
    UDisks2EjectBackend(const std::string& busAddress, int timeoutMs);
    ~UDisks2EjectBackend() override;
    UDisks2EjectBackend(const UDisks2EjectBackend&) = delete;
    UDisks2EjectBackend& operator=(const UDisks2EjectBackend&) = delete;

    // True when the file system is unmounted now, also when it was not mounted any more.
    bool unmount(const std::string& deviceNode, const std::string& mountPoint) override;
    // True when the drive that holds `deviceNode` accepted the eject request.
    bool eject(const std::string& deviceNode) override;

    // The service's object path for a device name ("sdb1"): letters and digits kept, every other byte
    // written as "_" and two lower-case hex digits.
    static std::string blockObjectPath(const std::string& deviceName);

private:
    // The service's object path of a device node; empty when the service does not know it or fails.
    QString blockObject(const std::string& deviceNode) const;

    QString m_connectionName;
    bool m_ownConnection = false;
    int m_timeoutMs;
};

} // namespace halcyra
