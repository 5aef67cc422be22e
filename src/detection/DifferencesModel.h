#pragma once

#include "base/DisplayDateTime.h"
#include "detection/FileKey.h"
#include "detection/TreeScan.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// Columns of the differences list, in order.
enum DifferenceColumn : int {
    ColFilename = 0,
    ColCurrentSize,
    ColOriginalSize,
    ColCurrentDate,
    ColOriginalDate,
    ColCurrentHash,
    ColOriginalHash,
    ColSummary,
    DifferenceColumnCount
};

// Header text and minimum width in pixels of each column.
struct DifferenceColumnInfo {
    const char* caption;
    int minimumWidth;
};
extern const std::array<DifferenceColumnInfo, DifferenceColumnCount> kDifferenceColumns;

// One row of the shown page: the entry's key (owned by the comparison list) and its eight texts.
struct DifferenceRow {
    const std::string* key = nullptr;
    std::array<std::string, DifferenceColumnCount> texts;
};

// Which changes the review shows, and in which order; the window's state without widgets. Works on a
// comparison list and a file exclusion list that stay the caller's: it changes only the exclusion list
// (Exclude, Include) and the entries' Excluded marks. Either list may be absent (null).
class DifferencesModel {
public:
    static constexpr int kRowsPerPage = 250;
    enum Tab : int { TabModified = 0, TabModifiedIncExcluded = 1, TabOnlyExcluded = 2 };

    DifferencesModel(CompareList* compareList, KeySet* exclusionList,
                     DisplayDateTimeFormat dateFormat = DisplayDateTimeFormat::current());

    bool hasCompareList() const { return m_compareList != nullptr; }
    bool hasExclusionList() const { return m_exclusionList != nullptr; }

    Tab tab() const { return m_tab; }
    void setTab(Tab tab) { m_tab = tab; }

    // Filters: new files (no Old side), deleted files (no New side), changed files (both sides).
    bool showNew() const { return m_showNew; }
    bool showDeleted() const { return m_showDeleted; }
    bool showChanged() const { return m_showChanged; }
    void setShowNew(bool show) { m_showNew = show; }
    void setShowDeleted(bool show) { m_showDeleted = show; }
    void setShowChanged(bool show) { m_showChanged = show; }
    // What the filters hide, or "No items are being filtered.".
    std::string filterLabel() const;

    // Whether an entry is listed under the current tab and filters.
    bool isShown(const TFileCompare& entry) const;

    // Splits the shown entries into pages of kRowsPerPage; there is always at least one page. Leaves the
    // shown page empty until fillPage.
    void buildPages();
    int pageCount() const { return static_cast<int>(m_pageStarts.size()); }
    // "<n> page(s)", or "No pages" without a comparison list.
    std::string pagesLabel() const;
    // The page number that `text` names when it is an integer within 1..pageCount().
    std::optional<int> pageNumber(std::string_view text) const;

    // Lists page `page` (1-based; nothing when out of range) in comparison-list order. The sort state is
    // kept but not applied.
    void fillPage(int page);
    int currentPage() const { return m_currentPage; }
    const std::vector<DifferenceRow>& rows() const { return m_rows; }
    void clearRows() { m_rows.clear(); }

    // A click on a column header: the same column again flips the direction, another column sorts
    // ascending. Sorts the rows of the shown page only.
    void sortByColumn(int column);
    int sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_sortAscending; }
    void resetSort();

    // Order of two cell texts: both integers >= 0 numerically, else both date-times of the display format
    // after 31/12/1899 chronologically, else by text ignoring the case of a-z. Negative when `left` comes
    // first in ascending order; the sign is reversed when descending.
    int compareTexts(std::string_view left, std::string_view right, bool ascending) const;

    // Menu state for a selection (row indexes of the shown page, any order).
    struct MenuState {
        bool exclude = false;
        bool include = false;
        bool selectAll = false;
    };
    MenuState menuState(const std::vector<int>& selectedRows) const;

    // Puts the selected rows' files on (Exclude) or takes them off (Include) the exclusion list, re-marks
    // the comparison list, rebuilds the pages and shows page 1. Nothing without an exclusion list or a
    // selection. Returns whether anything was done.
    bool exclude(const std::vector<int>& selectedRows);
    bool include(const std::vector<int>& selectedRows);
    // True once Exclude or Include changed the list, even when a later action undid it.
    bool exclusionsChanged() const { return m_exclusionsChanged; }

    // The details text of a row's file, lines joined with "\n"; nothing when the row does not exist or its
    // file is not in the comparison list.
    std::optional<std::string> detailsText(int row) const;

    // The texts of one entry's row.
    DifferenceRow rowOf(const std::string& key, const TFileCompare& entry) const;
    // Whether a changed entry's hash columns show (and its summary explains) a contents change.
    static bool hashDiffers(const TFileDetails& oldSide, const TFileDetails& newSide);
    // Display text of a date-time: the time left out at exactly midnight.
    std::string dateText(TDateTimeSecs value) const { return m_dateFormat.formatDateOrDateTime(value); }

private:
    bool changeSelection(const std::vector<int>& selectedRows, bool add);

    CompareList* m_compareList;
    KeySet* m_exclusionList;
    DisplayDateTimeFormat m_dateFormat;
    Tab m_tab = TabModified;
    bool m_showNew = true;
    bool m_showDeleted = true;
    bool m_showChanged = true;
    bool m_exclusionsChanged = false;
    int m_sortColumn = 0;
    bool m_sortAscending = true;
    // The first shown entry of each page.
    std::vector<CompareList::iterator> m_pageStarts;
    int m_currentPage = 0;
    std::vector<DifferenceRow> m_rows;
};

} // namespace halcyra
