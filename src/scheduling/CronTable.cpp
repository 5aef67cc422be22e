#include "scheduling/CronTable.h"

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

} // namespace

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

bool replaceCronBlock(std::string_view crontab, const std::vector<std::string>& lines, std::string& result,
                      std::string& error) {
    const std::vector<Line> all = splitLines(crontab);
    std::string out;
    bool placed = false;
    bool inBlock = false;
    auto appendBlock = [&] {
        if (lines.empty())
            return;
        if (!out.empty() && out.back() != '\n')
            out += '\n';
        out.append(CronBlockBegin);
        out += '\n';
        for (const std::string& line : lines) {
            out += line;
            out += '\n';
        }
        out.append(CronBlockEnd);
        out += '\n';
    };
    for (const Line& line : all) {
        if (inBlock) {
            if (line.text == CronBlockEnd)
                inBlock = false;
            continue;
        }
        if (line.text == CronBlockBegin) {
            inBlock = true;
            if (!placed) {
                appendBlock();
                placed = true;
            }
            continue;
        }
        out.append(crontab.substr(line.begin, line.end - line.begin));
    }
    if (inBlock) {
        error = "The crontab holds the line \"" + std::string(CronBlockBegin) +
                "\" without its closing line; it was left unchanged.";
        return false;
    }
    if (!placed)
        appendBlock();
    result = std::move(out);
    return true;
}

std::vector<std::string> cronBlockLines(std::string_view crontab) {
    std::vector<std::string> lines;
    bool inBlock = false;
    for (const Line& line : splitLines(crontab)) {
        if (!inBlock) {
            inBlock = line.text == CronBlockBegin;
            continue;
        }
        if (line.text == CronBlockEnd)
            break;
        lines.emplace_back(line.text);
    }
    return lines;
}

} // namespace halcyra
