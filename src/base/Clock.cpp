#include "base/Clock.h"

#include <ctime>
#include <thread>

namespace halcyra {

namespace {

class SystemClock final : public Clock {
public:
    std::int64_t now() override { return static_cast<std::int64_t>(std::time(nullptr)); }
    void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

} // namespace

Clock& Clock::system() {
    static SystemClock clock;
    return clock;
}

} // namespace halcyra
