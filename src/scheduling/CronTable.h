#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// Marker lines of the block that older versions kept in the crontab for every data folder at once. Such a
// block is only emptied, never written again.
inline constexpr std::string_view LegacyCronBlockBegin =
    "# BEGIN Halcyra scheduled tasks (maintained by Halcyra; changes inside are lost)";
inline constexpr std::string_view LegacyCronBlockEnd = "# END Halcyra scheduled tasks";

// The longest crontab line (without its line end) that every cron daemon accepts.
inline constexpr std::size_t MaxCronLineBytes = 999;

// The marker lines around the part of the user's crontab that the task store in `tasksFolder` maintains.
// They carry an identity of the folder (16 hexadecimal digits of the MD5 of its path), so that the stores of
// several data folders keep blocks of their own.
struct CronBlockMarkers {
    std::string begin;
    std::string end;
};
CronBlockMarkers cronBlockMarkers(std::string_view tasksFolder);

// `path` as one word of a crontab command: single-quoted for the shell, with every '%' escaped for cron.
// Nothing for a path that cannot be written so that cron and the shell give it back unchanged (one holding a
// control character, or a backslash directly before a '%').
std::optional<std::string> cronQuote(std::string_view path);

// The crontab line that starts `runner` for trigger `triggerIndex` of the job file `jobPath` every day at
// `startMinute` after midnight; nothing when one of the paths cannot be quoted.
std::optional<std::string> cronTaskLine(int startMinute, std::string_view runner, std::string_view jobPath,
                                        std::size_t triggerIndex);

// Whether `line` (one written by cronTaskLine) starts the runner for the job file `jobPath`, or for any job
// file directly inside `tasksFolder`.
bool cronLineRunsJob(std::string_view line, std::string_view jobPath);
bool cronLineRunsJobIn(std::string_view line, std::string_view tasksFolder);

// `crontab` with the block of `markers` replaced by `lines`: in place when there is a block, else appended at
// the end; with no lines the block is removed. A second complete block of the same markers is dropped. In a
// block of the older format, the lines for which `dropLegacyLine` answers true are dropped, and the block
// goes when none is left. Every other line is kept byte for byte (a last line without a line end gets one
// when a block follows it). False, with `error` set, when a begin marker has no end marker.
bool replaceCronBlock(std::string_view crontab, const CronBlockMarkers& markers,
                      const std::vector<std::string>& lines,
                      const std::function<bool(std::string_view line)>& dropLegacyLine, std::string& result,
                      std::string& error);

// The lines inside the block of `markers` in `crontab` (none when there is no block).
std::vector<std::string> cronBlockLines(std::string_view crontab, const CronBlockMarkers& markers);

} // namespace halcyra
