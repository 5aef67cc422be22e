#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The marker lines around the part of the user's crontab that this program maintains.
inline constexpr std::string_view CronBlockBegin =
    "# BEGIN Halcyra scheduled tasks (maintained by Halcyra; changes inside are lost)";
inline constexpr std::string_view CronBlockEnd = "# END Halcyra scheduled tasks";

// `path` as one word of a crontab command: single-quoted for the shell, with every '%' escaped for cron.
// Nothing for a path that cannot be written so that cron and the shell give it back unchanged (one holding a
// control character, or a backslash directly before a '%').
std::optional<std::string> cronQuote(std::string_view path);

// The crontab line that starts `runner` for trigger `triggerIndex` of the job file `jobPath` every day at
// `startMinute` after midnight; nothing when one of the paths cannot be quoted.
std::optional<std::string> cronTaskLine(int startMinute, std::string_view runner, std::string_view jobPath,
                                        std::size_t triggerIndex);

// `crontab` with its maintained block replaced by `lines` between the marker lines: in place when there is
// a block, else appended at the end; with no lines the block is removed. Every line outside the block is
// kept byte for byte (a last line without a line end gets one when a block follows it). A second complete
// block is dropped. False, with `error` set, when a begin marker has no end marker.
bool replaceCronBlock(std::string_view crontab, const std::vector<std::string>& lines, std::string& result,
                      std::string& error);

// The lines inside the maintained block of `crontab` (none when there is no block).
std::vector<std::string> cronBlockLines(std::string_view crontab);

} // namespace halcyra
