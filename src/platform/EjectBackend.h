#pragma once

#include <string>
#include <vector>

namespace halcyra {

// Unmounts file systems and ejects media. The desktop program installs a backend that asks the system's disk
// service; without one, the built-in backend can eject an unmounted optical drive only.
class EjectBackend {
public:
    virtual ~EjectBackend() = default;
    // Unmounts the file system of `deviceNode` mounted at `mountPoint`; true when it is no longer mounted.
    virtual bool unmount(const std::string& deviceNode, const std::string& mountPoint) = 0;
    // Ejects the medium of the whole-disk device `deviceNode`; true only when the drive accepted it.
    virtual bool eject(const std::string& deviceNode) = 0;
};

// The backend the program installed, else the built-in one.
EjectBackend& currentEjectBackend();
// Installs `backend` (not owned; null restores the built-in one).
void setEjectBackend(EjectBackend* backend);

// Built-in backend: cannot unmount (that needs the disk service); ejects with the CD-ROM eject request.
class IoctlEjectBackend : public EjectBackend {
public:
    bool unmount(const std::string& deviceNode, const std::string& mountPoint) override;
    bool eject(const std::string& deviceNode) override;
};

// Test double: records every request and answers as configured.
class FakeEjectBackend : public EjectBackend {
public:
    struct Call {
        std::string action; // "unmount" or "eject"
        std::string deviceNode;
        std::string mountPoint;
    };

    bool unmountSucceeds = true;
    bool ejectSucceeds = true;
    std::vector<Call> calls;

    bool unmount(const std::string& deviceNode, const std::string& mountPoint) override {
        calls.push_back({"unmount", deviceNode, mountPoint});
        return unmountSucceeds;
    }
    bool eject(const std::string& deviceNode) override {
        calls.push_back({"eject", deviceNode, {}});
        return ejectSucceeds;
    }
};

} // namespace halcyra
