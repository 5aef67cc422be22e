#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace halcyra {

// The platform's repeating timers, each addressed by a TWindowTimer's identifier.
class TimerPlatform {
public:
    virtual ~TimerPlatform() = default;
    // Starts timer `id` (replacing a running timer of that id) to tick every `interval` ms; false when the
    // platform refuses.
    virtual bool SetTimer(std::uint64_t id, std::int32_t interval) = 0;
    // Stops timer `id`; false when no timer of that id was running.
    virtual bool KillTimer(std::uint64_t id) = 0;
};

// Makes the platform timers of a new shared handler; they report each tick of timer `id` through `tick`.
using TimerPlatformFactory =
    std::function<std::unique_ptr<TimerPlatform>(std::function<void(std::uint64_t id)> tick)>;

// The handler every TWindowTimer of the process shares: created with the first timer, freed with the last.
// It delivers a tick only to a timer that still exists, so a tick of a freed timer is dropped.
class TWindowTimerHandler {
public:
    TWindowTimerHandler() = delete;
    // Timers in existence.
    static int RefCount();
    // Timers whose platform timer runs.
    static int ActiveCount();
    // The platform timers of the next shared handler made (an empty factory: the toolkit's timers).
    static void SetPlatformFactory(TimerPlatformFactory factory);
};

// A light repeating timer. `Enabled` says the timer is meant to run; a timer with an interval of 0 or no
// handler stays enabled without ticking, and resumes when both are set again. One thread only.
class TWindowTimer {
public:
    using Handler = std::function<void(TWindowTimer& Sender)>;

    // Interval 1000 ms, no handler, not enabled.
    TWindowTimer();
    TWindowTimer(std::int32_t Interval, Handler OnTimer);
    ~TWindowTimer();
    TWindowTimer(const TWindowTimer&) = delete;
    TWindowTimer& operator=(const TWindowTimer&) = delete;

    // The identifier at the shared handler; unique in the process and never reused.
    std::uint64_t Id() const { return m_id; }

    bool Enabled() const { return m_enabled; }
    // True starts the timer (it stays disabled when the interval is 0 or less); false stops and disables it.
    void SetEnabled(bool Enabled);
    std::int32_t Interval() const { return m_interval; }
    // While enabled: a positive interval restarts the timer, 0 (or less) stops its ticks.
    void SetInterval(std::int32_t Interval);
    // Stop (disabled) after the first tick.
    bool AutoDisable = false;
    const Handler& OnTimer() const { return m_onTimer; }
    // While enabled: no handler stops the ticks; a handler again resumes them.
    void SetOnTimer(Handler OnTimer);

    // Starts (restarts when running); false, changing nothing, when the interval is 0 or less or the platform
    // refuses.
    bool Start();
    // Stops the platform timer, and with `Disable` clears Enabled; false when no platform timer ran.
    bool Stop(bool Disable);

private:
    friend struct TimerRegistry;
    void tick();

    std::uint64_t m_id = 0;
    bool m_enabled = false;
    bool m_running = false;
    std::int32_t m_interval = 1000;
    Handler m_onTimer;
};

} // namespace halcyra
