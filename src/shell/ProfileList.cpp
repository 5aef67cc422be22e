#include "shell/ProfileList.h"

#include "base/DisplayDateTime.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/Settings.h"

#include <algorithm>
#include <memory>
#include <numeric>
#include <optional>

namespace halcyra {

namespace {

unsigned char asciiUpper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool validColumn(int column) {
    return column >= 0 && column < ProfileColumnCount;
}

// The "Last run" order: cells that read as date-times first, by date-time; then the others, as text. Text
// puts a date written with digits before "Never" as well, and unlike a comparison that switches between
// date and text pair by pair, this order is consistent across all rows.
int compareLastRun(const std::optional<std::int64_t>& leftTime, std::string_view leftText,
                   const std::optional<std::int64_t>& rightTime, std::string_view rightText) {
    if (leftTime && rightTime)
        return *leftTime < *rightTime ? -1 : (*leftTime > *rightTime ? 1 : 0);
    if (leftTime || rightTime)
        return leftTime ? -1 : 1;
    return compareProfileText(leftText, rightText);
}

int directed(int order, bool ascending) {
    return ascending ? order : -order;
}

} // namespace

std::string ProfileRow::cell(int column) const {
    switch (column) {
    case 0:
        return name;
    case 1:
        return std::string(profileTypeText(type));
    case 2:
        return lastRun;
    case 3:
        return lastResult;
    case 4:
        return scheduled;
    default:
        return {};
    }
}

std::string_view profileTypeText(std::uint8_t type) {
    switch (type) {
    case 1:
        return "Hash";
    case 2:
        return "Group";
    default:
        return "Error";
    }
}

std::string_view scheduleText(bool scheduled, bool shared) {
    if (!scheduled)
        return "No";
    return shared ? "Yes (shared)" : "Yes";
}

ScheduleTextLookup listedScheduleTexts() {
    auto tasks = std::make_shared<std::optional<TTaskList>>();
    return [tasks](std::string_view profileName) {
        if (!*tasks)
            *tasks = ListProfileTasks();
        bool shared = false;
        const bool scheduled = IsProfileScheduled(**tasks, profileName, shared);
        return std::string(scheduleText(scheduled, shared));
    };
}

ProfileListLoad loadProfileList(TSettings& root, const ScheduleTextLookup& scheduleTextOf) {
    ProfileListLoad load;
    const SettingNames names = root.trySubKeyNames();
    if (names.state == SettingState::Error) {
        load.readFailed = true;
        load.error = names.error;
        return load;
    }
    for (const std::string& name : names.names) {
        const SettingText type = root.tryReadSubKeyString(name, "ProfileType");
        if (type.state == SettingState::Error) {
            load.readFailed = true;
            if (load.error.empty())
                load.error = type.error;
            continue;
        }
        std::uint8_t lowType = 0;
        if (type.state == SettingState::Value)
            lowType = static_cast<std::uint8_t>(integerFromText(type.text).value_or(0) & 0xFF);
        if (lowType == 0) {
            root.DeleteSubKey(name);
            load.removed.push_back(name);
            continue;
        }
        ProfileRow row;
        row.name = name;
        row.type = lowType;
        row.lastRun = root.ReadSubKeyString(name, "LastRun", "Never");
        row.lastResult = root.ReadSubKeyString(name, "LastResult", "");
        row.scheduled = scheduleTextOf ? scheduleTextOf(name) : std::string(scheduleText(false, false));
        load.rows.push_back(std::move(row));
    }
    return load;
}

int compareProfileText(std::string_view left, std::string_view right) {
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char a = asciiUpper(static_cast<unsigned char>(left[i]));
        const unsigned char b = asciiUpper(static_cast<unsigned char>(right[i]));
        if (a != b)
            return a < b ? -1 : 1;
    }
    return left.size() < right.size() ? -1 : (left.size() > right.size() ? 1 : 0);
}

int compareProfileRows(const ProfileRow& left, const ProfileRow& right, const ProfileSort& sort) {
    const int column = validColumn(sort.column) ? sort.column : 0;
    if (column == LastRunColumn) {
        return directed(compareLastRun(parseDisplayDateTime(left.lastRun), left.lastRun,
                                       parseDisplayDateTime(right.lastRun), right.lastRun),
                        sort.ascending);
    }
    return directed(compareProfileText(left.cell(column), right.cell(column)), sort.ascending);
}

void sortProfileRows(std::vector<ProfileRow>& rows, const ProfileSort& sort) {
    const int column = validColumn(sort.column) ? sort.column : 0;
    if (column != LastRunColumn) {
        std::stable_sort(rows.begin(), rows.end(), [&](const ProfileRow& left, const ProfileRow& right) {
            return compareProfileRows(left, right, sort) < 0;
        });
        return;
    }
    // Each cell is parsed once, under one format.
    const DisplayDateTimeFormat format = DisplayDateTimeFormat::current();
    std::vector<std::optional<std::int64_t>> times;
    times.reserve(rows.size());
    for (const ProfileRow& row : rows)
        times.push_back(format.parse(row.lastRun));
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
        return directed(compareLastRun(times[left], rows[left].lastRun, times[right], rows[right].lastRun),
                        sort.ascending) < 0;
    });
    std::vector<ProfileRow> sorted;
    sorted.reserve(rows.size());
    for (const std::size_t index : order)
        sorted.push_back(std::move(rows[index]));
    rows = std::move(sorted);
}

ProfileSort sortAfterColumnClick(const ProfileSort& sort, int column) {
    if (column == sort.column)
        return {column, !sort.ascending};
    return {column, true};
}

ProfileSort readProfileSort(const TSettings& root) {
    ProfileSort sort;
    sort.column = root.ReadIntegerDef("SortColumn", 0);
    if (!validColumn(sort.column))
        sort.column = 0;
    sort.ascending = root.ReadBoolDef("SortAscending", true);
    return sort;
}

void writeProfileSort(TSettings& root, const ProfileSort& sort) {
    root.WriteInteger("SortColumn", sort.column);
    root.WriteBool("SortAscending", sort.ascending);
}

SelectionEnabling selectionEnabling(std::size_t selectedCount) {
    return {selectedCount == 1, selectedCount >= 1};
}

std::string selectionHint(std::string_view title, const std::vector<std::string>& selectedNames) {
    std::string hint(title);
    if (selectedNames.size() == 1)
        hint += " : Current profile is " + selectedNames.front();
    else if (selectedNames.size() > 1)
        hint += " : Multiple profiles selected";
    return hint;
}

std::uint8_t doubleClickPreset(std::int32_t stored) {
    return stored >= 0 && stored <= 4 ? static_cast<std::uint8_t>(stored) : 0;
}

} // namespace halcyra
