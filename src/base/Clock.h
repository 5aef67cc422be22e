#pragma once

#include <chrono>
#include <cstdint>

namespace halcyra {

// The wall clock and waiting, behind one seam so that tests never wait for real time.
class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since the Unix epoch.
    virtual std::int64_t now() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;

    // The real clock of the system.
    static Clock& system();
};

} // namespace halcyra
