#include "scheduling/CronTable.h"

#include "base/Paths.h"
#include "hashing/Md5Engine.h"

#include <cstdint>
#include <cstdio>

namespace halcyra {

namespace {

struct Line {
    std::string_view text; // without its line end
    std::size_t begin = 0; // offset of the line in the crontab
    std::size_t end = 0;   // offset after its line end
};

std::vector<Line> splitLines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        lines.push_back({text.substr(start, end - start), start, next});
        start = next;
    }
    return lines;
}

// The line without its trailing trigger number; nothing when it does not end with " <digits>".
std::optional<std::string_view> withoutTriggerIndex(std::string_view line) {
    const std::size_t blank = line.rfind(' ');
    if (blank == std::string_view::npos || blank + 1 == line.size())
        return std::nullopt;
    for (const char c : line.substr(blank + 1))
        if (c < '0' || c > '9')
            return std::nullopt;
    return line.substr(0, blank);
}

} // namespace

CronBlockMarkers cronBlockMarkers(std::string_view tasksFolder) {
    const std::string folder = withTrailingSlash(tasksFolder);
    Md5Context md5;
    md5.update(folder.data(), folder.size());
    std::uint8_t digest[16];
    md5.finish(digest);
    char identity[17];
    for (int i = 0; i < 8; ++i)
        std::snprintf(identity + 2 * i, 3, "%02x", digest[i]);
    CronBlockMarkers markers;
    markers.begin = std::string("# BEGIN Halcyra scheduled tasks of data folder ") + identity +
                    " (maintained by Halcyra; changes inside are lost)";
    markers.end = std::string("# END Halcyra scheduled tasks of data folder ") + identity;
    return markers;
}

std::optional<std::string> cronQuote(std::string_view path) {
    std::string quoted = "'";
    char previous = '\0';
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return std::nullopt;
        // cron turns "\%" into "%" and has no way to write a backslash followed by a percent sign.
        if (c == '%' && previous == '\\')
            return std::nullopt;
        if (c == '\'')
            quoted += "'\\''";
        else if (c == '%')
            quoted += "\\%";
        else
            quoted += c;
        previous = c;
    }
    quoted += '\'';
    return quoted;
}

std::optional<std::string> cronTaskLine(int startMinute, std::string_view runner, std::string_view jobPath,
                                        std::size_t triggerIndex) {
    const auto quotedRunner = cronQuote(runner);
    const auto quotedJob = cronQuote(jobPath);
    if (!quotedRunner || !quotedJob || startMinute < 0 || startMinute >= 24 * 60)
        return std::nullopt;
    char schedule[32];
    std::snprintf(schedule, sizeof schedule, "%d %d * * * ", startMinute % 60, startMinute / 60);
    return std::string(schedule) + *quotedRunner + " " + *quotedJob + " " + std::to_string(triggerIndex);
}

bool cronLineRunsJob(std::string_view line, std::string_view jobPath) {
    const auto command = withoutTriggerIndex(line);
    const auto quoted = cronQuote(jobPath);
    return command && quoted && command->ends_with(" " + *quoted);
}

bool cronLineRunsJobIn(std::string_view line, std::string_view tasksFolder) {
    const auto command = withoutTriggerIndex(line);
    auto quoted = cronQuote(withTrailingSlash(tasksFolder));
    if (!command || !quoted)
        return false;
    quoted->pop_back(); // the closing quote: the job file's name follows inside the same quotes
    const std::size_t at = command->rfind(" " + *quoted);
    if (at == std::string_view::npos)
        return false;
    const std::string_view name = command->substr(at + 1 + quoted->size());
    constexpr std::string_view Tail = ".job'";
    return name.size() > Tail.size() && name.ends_with(Tail) &&
           name.substr(0, name.size() - Tail.size()).find_first_of("/'") == std::string_view::npos;
}

bool replaceCronBlock(std::string_view crontab, const CronBlockMarkers& markers,
                      const std::vector<std::string>& lines,
                      const std::function<bool(std::string_view line)>& dropLegacyLine, std::string& result,
                      std::string& error) {
    enum class Where { Outside, OwnBlock, LegacyBlock };
    std::string out;
    bool placed = false;
    Where where = Where::Outside;
    std::string_view openedBy;
    std::string legacy;       // the legacy block being read: its begin marker and the lines it keeps
    bool legacyKeeps = false; // a line of it is kept
    auto appendRaw = [&](std::string& to, const Line& line) {
        to.append(crontab.substr(line.begin, line.end - line.begin));
    };
    auto appendBlock = [&] {
        if (lines.empty())
            return;
        if (!out.empty() && out.back() != '\n')
            out += '\n';
        out += markers.begin;
        out += '\n';
        for (const std::string& line : lines) {
            out += line;
            out += '\n';
        }
        out += markers.end;
        out += '\n';
    };
    for (const Line& line : splitLines(crontab)) {
        switch (where) {
        case Where::OwnBlock:
            if (line.text == markers.end)
                where = Where::Outside;
            continue;
        case Where::LegacyBlock:
            if (line.text == LegacyCronBlockEnd) {
                if (legacyKeeps) {
                    out += legacy;
                    appendRaw(out, line);
                }
                where = Where::Outside;
            } else if (!dropLegacyLine || !dropLegacyLine(line.text)) {
                appendRaw(legacy, line);
                legacyKeeps = true;
            }
            continue;
        case Where::Outside:
            break;
        }
        if (line.text == markers.begin) {
            where = Where::OwnBlock;
            openedBy = markers.begin;
            if (!placed) {
                appendBlock();
                placed = true;
            }
        } else if (line.text == LegacyCronBlockBegin) {
            where = Where::LegacyBlock;
            openedBy = LegacyCronBlockBegin;
            legacy.clear();
            appendRaw(legacy, line);
            legacyKeeps = false;
        } else {
            appendRaw(out, line);
        }
    }
    if (where != Where::Outside) {
        error = "The crontab holds the line \"" + std::string(openedBy) +
                "\" without its closing line; it was left unchanged.";
        return false;
    }
    if (!placed)
        appendBlock();
    result = std::move(out);
    return true;
}

std::vector<std::string> cronBlockLines(std::string_view crontab, const CronBlockMarkers& markers) {
    std::vector<std::string> lines;
    bool inBlock = false;
    for (const Line& line : splitLines(crontab)) {
        if (!inBlock) {
            inBlock = line.text == markers.begin;
            continue;
        }
        if (line.text == markers.end)
            break;
        lines.emplace_back(line.text);
    }
    return lines;
}

} // namespace halcyra
