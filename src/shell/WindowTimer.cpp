#include "shell/WindowTimer.h"

#include <QObject>
#include <QTimerEvent>

#include <unordered_map>

namespace halcyra {

namespace {

// The toolkit's timers on one hidden object of the window thread.
class QtTimerPlatform : public QObject, public TimerPlatform {
public:
    explicit QtTimerPlatform(std::function<void(std::uint64_t)> tick) : m_tick(std::move(tick)) {}

    bool SetTimer(std::uint64_t id, std::int32_t interval) override {
        KillTimer(id);
        if (interval <= 0)
            return false;
        const int qtId = startTimer(interval);
        if (qtId == 0)
            return false;
        m_qtIds[id] = qtId;
        m_ids[qtId] = id;
        return true;
    }

    bool KillTimer(std::uint64_t id) override {
        const auto found = m_qtIds.find(id);
        if (found == m_qtIds.end())
            return false;
        killTimer(found->second);
        m_ids.erase(found->second);
        m_qtIds.erase(found);
        return true;
    }

protected:
    void timerEvent(QTimerEvent* event) override {
        const auto found = m_ids.find(event->timerId());
        if (found != m_ids.end())
            m_tick(found->second); // may free this object: nothing of it is used afterwards
    }

private:
    std::function<void(std::uint64_t)> m_tick;
    std::unordered_map<std::uint64_t, int> m_qtIds;
    std::unordered_map<int, std::uint64_t> m_ids;
};

} // namespace

// The shared handler's state: the live timers by identifier and the platform timers.
struct TimerRegistry {
    std::unique_ptr<TimerPlatform> platform;
    std::unordered_map<std::uint64_t, TWindowTimer*> live;
    int activeCount = 0;

    static TimerRegistry*& instance() {
        static TimerRegistry* registry = nullptr;
        return registry;
    }
    static TimerPlatformFactory& factory() {
        static TimerPlatformFactory made;
        return made;
    }
    static std::uint64_t nextId() {
        static std::uint64_t last = 0;
        return ++last;
    }

    static TimerRegistry& add(TWindowTimer& timer) {
        TimerRegistry*& registry = instance();
        if (registry == nullptr) {
            registry = new TimerRegistry;
            auto tick = [](std::uint64_t id) { deliver(id); };
            if (factory())
                registry->platform = factory()(tick);
            else
                registry->platform = std::make_unique<QtTimerPlatform>(tick);
        }
        registry->live[timer.m_id] = &timer;
        return *registry;
    }

    static void remove(const TWindowTimer& timer) {
        TimerRegistry*& registry = instance();
        if (registry == nullptr)
            return;
        registry->live.erase(timer.m_id);
        if (registry->live.empty()) {
            delete registry;
            registry = nullptr;
        }
    }

    static void deliver(std::uint64_t id) {
        TimerRegistry* registry = instance();
        if (registry == nullptr)
            return;
        const auto found = registry->live.find(id);
        if (found != registry->live.end())
            found->second->tick();
    }
};

int TWindowTimerHandler::RefCount() {
    const TimerRegistry* registry = TimerRegistry::instance();
    return registry != nullptr ? static_cast<int>(registry->live.size()) : 0;
}

int TWindowTimerHandler::ActiveCount() {
    const TimerRegistry* registry = TimerRegistry::instance();
    return registry != nullptr ? registry->activeCount : 0;
}

void TWindowTimerHandler::SetPlatformFactory(TimerPlatformFactory factory) {
    TimerRegistry::factory() = std::move(factory);
}

TWindowTimer::TWindowTimer() : m_id(TimerRegistry::nextId()) {
    TimerRegistry::add(*this);
}

TWindowTimer::TWindowTimer(std::int32_t Interval, Handler OnTimer)
    : m_id(TimerRegistry::nextId()), m_interval(Interval), m_onTimer(std::move(OnTimer)) {
    TimerRegistry::add(*this);
}

TWindowTimer::~TWindowTimer() {
    if (m_running)
        Stop(true);
    TimerRegistry::remove(*this);
}

void TWindowTimer::SetEnabled(bool Enabled) {
    if (Enabled)
        Start();
    else
        Stop(true);
}

void TWindowTimer::SetInterval(std::int32_t Interval) {
    if (Interval == m_interval)
        return;
    m_interval = Interval;
    if (!m_enabled)
        return;
    if (m_interval > 0)
        Start();
    else
        Stop(false);
}

void TWindowTimer::SetOnTimer(Handler OnTimer) {
    m_onTimer = std::move(OnTimer);
    if (!m_enabled)
        return;
    if (!m_onTimer)
        Stop(false);
    else if (!m_running && m_interval > 0)
        Start();
}

bool TWindowTimer::Start() {
    if (m_interval <= 0)
        return false;
    if (m_running)
        Stop(false);
    TimerRegistry& registry = *TimerRegistry::instance();
    if (!registry.platform->SetTimer(m_id, m_interval))
        return false;
    m_running = true;
    m_enabled = true;
    ++registry.activeCount;
    return true;
}

bool TWindowTimer::Stop(bool Disable) {
    if (Disable)
        m_enabled = false;
    if (!m_running)
        return false;
    m_running = false;
    TimerRegistry& registry = *TimerRegistry::instance();
    const bool stopped = registry.platform->KillTimer(m_id);
    if (stopped && registry.activeCount > 0)
        --registry.activeCount;
    return stopped;
}

void TWindowTimer::tick() {
    if (AutoDisable)
        Stop(true);
    if (!m_onTimer)
        return;
    const Handler handler = m_onTimer; // the handler may free this timer and with it m_onTimer
    handler(*this);
}

} // namespace halcyra
