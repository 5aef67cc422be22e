#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TSettings;

// The columns of the profile list: caption and initial width in pixels.
struct ProfileColumn {
    const char* caption;
    int width;
};
inline constexpr ProfileColumn ProfileColumns[] = {
    {"Profile", 175}, {"Type", 115}, {"Last run", 160}, {"Result", 100}, {"Scheduled?", 75},
};
inline constexpr int ProfileColumnCount = 5;
inline constexpr int LastRunColumn = 2;

// One row of the profile list.
struct ProfileRow {
    std::string name;       // the profile's key name in its stored spelling
    std::uint8_t type = 0;  // the low eight bits of ProfileType
    std::string lastRun;    // "Never" when missing or empty
    std::string lastResult; // empty when missing
    std::string scheduled;  // "No", "Yes" or "Yes (shared)"

    // The text of cell `column` (0 to 4); empty for any other column.
    std::string cell(int column) const;
};

// The Type column's text: "Hash" for 1, "Group" for 2, "Error" for any other type.
std::string_view profileTypeText(std::uint8_t type);

// The Scheduled? column's text.
std::string_view scheduleText(bool scheduled, bool shared);

// Gives the Scheduled? text of a profile.
using ScheduleTextLookup = std::function<std::string(std::string_view profileName)>;

// A look-up that lists this program's scheduled tasks once, at its first question, and answers every profile
// from that listing. A scheduler that cannot be reached makes every profile "No".
ScheduleTextLookup listedScheduleTexts();

// The outcome of reading the profile list from the store.
struct ProfileListLoad {
    std::vector<ProfileRow> rows;     // in case-insensitive name order
    std::vector<std::string> removed; // keys deleted because they hold no profile type
    bool readFailed = false;          // the store could not be read: some profiles may be missing
    std::string error;                // why, when readFailed
};

// Reads one row per sub-key of `root` (the program's root key). A sub-key whose ProfileType is missing,
// empty, not a number or has low eight bits 0 is deleted and gives no row. A key that cannot be read
// gives no row and is never deleted: a store that fails deletes nothing. `scheduleTextOf` is asked once
// for each row.
ProfileListLoad loadProfileList(TSettings& root, const ScheduleTextLookup& scheduleTextOf);

// Text comparison of the list: ASCII letters compared as upper case, every byte by its code (negative,
// zero or positive).
int compareProfileText(std::string_view left, std::string_view right);

// The list's sort order. A column outside 0 to 4 sorts as column 0.
struct ProfileSort {
    int column = 0;
    bool ascending = true;

    bool operator==(const ProfileSort&) const = default;
};

// Order of two rows: column 0 compares the names, 1, 3 and 4 the cells as text; 2 compares the two "Last
// run" date-times when both cells read as date-times of the current locale, else the cells as text.
// Descending order negates the result.
int compareProfileRows(const ProfileRow& left, const ProfileRow& right, const ProfileSort& sort);

// Sorts `rows` by `sort`; rows that compare equal keep their order.
void sortProfileRows(std::vector<ProfileRow>& rows, const ProfileSort& sort);

// The order after a click on column header `column`: the sort column reverses its direction, another column
// becomes the sort column, ascending.
ProfileSort sortAfterColumnClick(const ProfileSort& sort, int column);

// The sort order stored in `root` ("SortColumn", "SortAscending"); a stored column outside 0 to 4 gives 0.
ProfileSort readProfileSort(const TSettings& root);
void writeProfileSort(TSettings& root, const ProfileSort& sort);

// Which selection-bound actions are enabled for a number of selected rows.
struct SelectionEnabling {
    bool single = false;   // Modify, Schedule, Rename, Copy: exactly one row
    bool multiple = false; // Delete, Run, View Log, Export Profile: one row or more
};
SelectionEnabling selectionEnabling(std::size_t selectedCount);

// The tray icon's hint for the selected profiles: the title alone without a selection, with
// " : Current profile is " + the name for one, with " : Multiple profiles selected" for several.
std::string selectionHint(std::string_view title, const std::vector<std::string>& selectedNames);

// What a double-click on the list does ("DoubleClick"): the choice dialog's items.
enum class DoubleClickAction : std::uint8_t { Nothing = 0, Run = 1, Modify = 2, Schedule = 3, ViewLog = 4 };
inline constexpr std::int32_t DoubleClickNotChosen = -1;

// The item the choice dialog opens on for a stored value: the value when it is 0 to 4, else 0.
std::uint8_t doubleClickPreset(std::int32_t stored);

} // namespace halcyra
