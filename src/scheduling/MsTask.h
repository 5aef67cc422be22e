#pragma once

#include "base/DateTime.h"

#include <cstdint>
#include <string>

namespace halcyra {

// Status and error codes of the task scheduler (32-bit; shown as 8 upper-case hexadecimal digits).
namespace SchedCode {
inline constexpr std::int32_t Ok = 0;
inline constexpr std::int32_t TaskReady = 0x00041300;
inline constexpr std::int32_t TaskRunning = 0x00041301;
inline constexpr std::int32_t TaskDisabled = 0x00041302;
inline constexpr std::int32_t TaskHasNotRun = 0x00041303;
inline constexpr std::int32_t TaskNoMoreRuns = 0x00041304;
inline constexpr std::int32_t TaskNotScheduled = 0x00041305;
inline constexpr std::int32_t TaskTerminated = 0x00041306;
inline constexpr std::int32_t TaskNoValidTriggers = 0x00041307;
inline constexpr std::int32_t EventTrigger = 0x00041308;
inline constexpr std::int32_t TriggerNotFound = static_cast<std::int32_t>(0x80041309);
inline constexpr std::int32_t TaskNotReady = static_cast<std::int32_t>(0x8004130A);
inline constexpr std::int32_t TaskNotRunning = static_cast<std::int32_t>(0x8004130B);
inline constexpr std::int32_t ServiceNotInstalled = static_cast<std::int32_t>(0x8004130C);
inline constexpr std::int32_t CannotOpenTask = static_cast<std::int32_t>(0x8004130D);
inline constexpr std::int32_t InvalidTask = static_cast<std::int32_t>(0x8004130E);
inline constexpr std::int32_t AccountInformationNotSet = static_cast<std::int32_t>(0x8004130F);
inline constexpr std::int32_t AccountNameNotFound = static_cast<std::int32_t>(0x80041310);
inline constexpr std::int32_t AccountDbaseCorrupt = static_cast<std::int32_t>(0x80041311);
inline constexpr std::int32_t NoSecurityServices = static_cast<std::int32_t>(0x80041312);
inline constexpr std::int32_t UnknownObjectVersion = static_cast<std::int32_t>(0x80041313);
inline constexpr std::int32_t UnsupportedAccountOption = static_cast<std::int32_t>(0x80041314);
inline constexpr std::int32_t ServiceNotRunning = static_cast<std::int32_t>(0x80041315);
inline constexpr std::int32_t OutOfMemory = static_cast<std::int32_t>(0x8007000E);
inline constexpr std::int32_t InvalidArg = static_cast<std::int32_t>(0x80070057);
// Failures without a code of their own.
inline constexpr std::int32_t Fail = static_cast<std::int32_t>(0x80004005);
inline constexpr std::int32_t AccessDenied = static_cast<std::int32_t>(0x80070005);
inline constexpr std::int32_t AlreadyExists = static_cast<std::int32_t>(0x800700B7);
} // namespace SchedCode

// 31/12/1899 00:00:00: the run time of a task that reports none. Every real run time is later.
inline constexpr TDateTimeSecs UnknownRunTime = -2209075200;

// One listed task, as the schedule window and the profile look-ups see it.
struct TSchedTask {
    std::string Name;             // the task name
    std::string ApplicationName;  // the program the task starts, as stored
    std::string Parameters;       // its command-line parameters
    std::string WorkingDirectory; // its working folder
    std::int32_t Status = 0;      // a SchedCode status
    std::string StatusText;       // TaskStatusText of Status; empty when the code has no text
    TDateTimeSecs NextRunTime = UnknownRunTime;
    std::string NextRunText; // empty when a next run time was obtained, else the text of the reason
    TDateTimeSecs LastRunTime = UnknownRunTime;
    std::string LastRunText; // empty when a most recent run time was obtained, else the text of the reason
    std::uint16_t TriggerCount = 0;
    std::string
        TriggerText; // "Multiple schedule times" for two or more triggers, else trigger 0's description

    bool operator==(const TSchedTask&) const = default;
};

// Sets `Text` to the English text of `Code`; a code without a text leaves `Text` unchanged.
void TaskStatusText(std::int32_t Code, std::string& Text);

// `code` as 8 upper-case hexadecimal digits (its unsigned 32-bit value).
std::string schedCodeHex(std::int32_t code);

} // namespace halcyra
