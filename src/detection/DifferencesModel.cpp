#include "detection/DifferencesModel.h"

#include "base/AsciiCase.h"
#include "base/NumberText.h"
#include "hashing/Hashing.h"

#include <algorithm>
#include <utility>

namespace halcyra {

const std::array<DifferenceColumnInfo, DifferenceColumnCount> kDifferenceColumns = {{
    {"Filename", 100},
    {"Current Filesize", 90},
    {"Original Filesize", 90},
    {"Current Date", 90},
    {"Original Date", 90},
    {"Current Hash", 90},
    {"Original Hash", 90},
    {"Differences Summary", 120},
}};

namespace {

// A text of decimal digits only that fits 64 bits.
std::optional<std::int64_t> nonNegativeInteger(std::string_view text) {
    return decimalInteger<std::int64_t>(text, {.minusSign = false});
}

template <class T> int order(const T& left, const T& right) {
    return left < right ? -1 : (right < left ? 1 : 0);
}

// Stable merge sort that stays within bounds whatever the comparison answers, so mixed texts in one column
// (which need not be ordered consistently) cannot corrupt the rows.
template <class Less> void mergeSort(std::vector<DifferenceRow>& rows, const Less& less) {
    std::vector<DifferenceRow> buffer(rows.size());
    for (std::size_t width = 1; width < rows.size(); width *= 2) {
        for (std::size_t low = 0; low < rows.size(); low += 2 * width) {
            const std::size_t middle = std::min(low + width, rows.size());
            const std::size_t high = std::min(low + 2 * width, rows.size());
            std::size_t left = low;
            std::size_t right = middle;
            std::size_t out = low;
            while (left < middle && right < high)
                buffer[out++] =
                    less(rows[right], rows[left]) ? std::move(rows[right++]) : std::move(rows[left++]);
            while (left < middle)
                buffer[out++] = std::move(rows[left++]);
            while (right < high)
                buffer[out++] = std::move(rows[right++]);
        }
        rows.swap(buffer);
    }
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i];
    }
    return text;
}

// 31/12/1899 00:00:00; only later date-times sort as dates.
const TDateTimeSecs kEarliestSortableDate = toDateTimeSecs({1899, 12, 31, 0, 0, 0});

} // namespace

DifferencesModel::DifferencesModel(CompareList* compareList, KeySet* exclusionList,
                                   DisplayDateTimeFormat dateFormat)
    : m_compareList(compareList), m_exclusionList(exclusionList), m_dateFormat(std::move(dateFormat)) {}

std::string DifferencesModel::filterLabel() const {
    std::string label;
    if (!m_showNew)
        label += "New files hidden. ";
    if (!m_showDeleted)
        label += "Delete files hidden. ";
    if (!m_showChanged)
        label += "Changed files hidden. ";
    if (label.empty())
        return "No items are being filtered.";
    label.pop_back();
    return label;
}

bool DifferencesModel::isShown(const TFileCompare& entry) const {
    if (entry.Status == 0)
        return false;
    if ((m_tab == TabModified && entry.Excluded) || (m_tab == TabOnlyExcluded && !entry.Excluded))
        return false;
    if (!entry.Old && !entry.New)
        return false;
    if (!entry.Old)
        return m_showNew;
    if (!entry.New)
        return m_showDeleted;
    return m_showChanged;
}

void DifferencesModel::buildPages() {
    m_pageStarts.clear();
    m_rows.clear();
    m_currentPage = 0;
    if (m_compareList == nullptr)
        return;
    std::size_t shown = 0;
    for (auto it = m_compareList->begin(); it != m_compareList->end(); ++it) {
        if (!isShown(it->second))
            continue;
        if (shown % kRowsPerPage == 0)
            m_pageStarts.push_back(it);
        ++shown;
    }
    if (m_pageStarts.empty())
        m_pageStarts.push_back(m_compareList->begin());
}

std::string DifferencesModel::pagesLabel() const {
    if (m_compareList == nullptr)
        return "No pages";
    return std::to_string(pageCount()) + " page(s)";
}

std::optional<int> DifferencesModel::pageNumber(std::string_view text) const {
    const std::optional<int> value = decimalInteger<int>(text, {.plusSign = true});
    if (!value || *value < 1 || *value > pageCount())
        return std::nullopt;
    return value;
}

void DifferencesModel::fillPage(int page) {
    m_rows.clear();
    m_currentPage = 0;
    if (m_compareList == nullptr || page < 1 || page > pageCount())
        return;
    m_currentPage = page;
    m_rows.reserve(kRowsPerPage);
    for (auto it = m_pageStarts[static_cast<std::size_t>(page - 1)];
         it != m_compareList->end() && m_rows.size() < static_cast<std::size_t>(kRowsPerPage); ++it)
        if (isShown(it->second))
            m_rows.push_back(rowOf(it->first, it->second));
}

bool DifferencesModel::hashDiffers(const TFileDetails& oldSide, const TFileDetails& newSide) {
    if (newSide.Hash == CannotOpenFilePlaceholder)
        return true;
    return !oldSide.Hash.empty() && !newSide.Hash.empty() &&
           !equalsIgnoringAsciiCase(oldSide.Hash, newSide.Hash);
}

DifferenceRow DifferencesModel::rowOf(const std::string& key, const TFileCompare& entry) const {
    DifferenceRow row;
    row.key = &key;
    auto& t = row.texts;
    t[ColFilename] = key;
    if (!entry.Old && entry.New) {
        t[ColCurrentSize] = std::to_string(entry.New->Size);
        t[ColCurrentDate] = dateText(entry.New->DateTime);
        t[ColCurrentHash] = entry.New->Hash;
        t[ColSummary] = "Created";
    } else if (entry.Old && !entry.New) {
        t[ColOriginalSize] = std::to_string(entry.Old->Size);
        t[ColOriginalDate] = dateText(entry.Old->DateTime);
        t[ColOriginalHash] = entry.Old->Hash;
        t[ColSummary] = "Deleted";
    } else if (entry.Old && entry.New) {
        const TFileDetails& oldSide = *entry.Old;
        const TFileDetails& newSide = *entry.New;
        std::string summary = entry.Excluded ? "Excluded file." : "";
        if (oldSide.Size != newSide.Size) {
            t[ColCurrentSize] = std::to_string(newSide.Size);
            t[ColOriginalSize] = std::to_string(oldSide.Size);
            summary += " File size.";
        }
        if (oldSide.DateTime != newSide.DateTime) {
            t[ColCurrentDate] = dateText(newSide.DateTime);
            t[ColOriginalDate] = dateText(oldSide.DateTime);
            summary += " Date & time.";
        }
        if (hashDiffers(oldSide, newSide)) {
            t[ColCurrentHash] = newSide.Hash;
            t[ColOriginalHash] = oldSide.Hash;
            summary +=
                newSide.Hash == CannotOpenFilePlaceholder ? " Could not read file." : " Contents changed.";
        }
        const std::size_t first = summary.find_first_not_of(' ');
        t[ColSummary] = first == std::string::npos ? std::string() : summary.substr(first);
    }
    return row;
}

void DifferencesModel::sortByColumn(int column) {
    if (column < 0 || column >= DifferenceColumnCount)
        return;
    if (column == m_sortColumn) {
        m_sortAscending = !m_sortAscending;
    } else {
        m_sortColumn = column;
        m_sortAscending = true;
    }
    const auto index = static_cast<std::size_t>(m_sortColumn);
    mergeSort(m_rows, [this, index](const DifferenceRow& left, const DifferenceRow& right) {
        return compareTexts(left.texts[index], right.texts[index], m_sortAscending) < 0;
    });
}

void DifferencesModel::resetSort() {
    m_sortColumn = 0;
    m_sortAscending = true;
}

int DifferencesModel::compareTexts(std::string_view left, std::string_view right, bool ascending) const {
    if (!ascending)
        std::swap(left, right);
    const auto leftNumber = nonNegativeInteger(left);
    const auto rightNumber = nonNegativeInteger(right);
    if (leftNumber && rightNumber)
        return order(*leftNumber, *rightNumber);
    const auto leftDate = m_dateFormat.parseDateOrDateTime(left);
    const auto rightDate = m_dateFormat.parseDateOrDateTime(right);
    if (leftDate && rightDate && *leftDate > kEarliestSortableDate && *rightDate > kEarliestSortableDate)
        return order(*leftDate, *rightDate);
    return orderIgnoringAsciiCase(left, right);
}

DifferencesModel::MenuState DifferencesModel::menuState(const std::vector<int>& selectedRows) const {
    MenuState state;
    std::vector<int> selected;
    for (int row : selectedRows)
        if (row >= 0 && static_cast<std::size_t>(row) < m_rows.size())
            selected.push_back(row);
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    state.selectAll = selected.size() < m_rows.size();
    if (m_exclusionList == nullptr)
        return state;
    for (int row : selected) {
        if (m_exclusionList->count(*m_rows[static_cast<std::size_t>(row)].key) == 0)
            state.exclude = true;
        else
            state.include = true;
        if (state.exclude && state.include)
            break;
    }
    return state;
}

bool DifferencesModel::changeSelection(const std::vector<int>& selectedRows, bool add) {
    if (m_exclusionList == nullptr)
        return false;
    std::vector<std::string> keys;
    for (int row : selectedRows)
        if (row >= 0 && static_cast<std::size_t>(row) < m_rows.size())
            keys.push_back(*m_rows[static_cast<std::size_t>(row)].key);
    if (keys.empty())
        return false;
    for (std::string& key : keys) {
        if (add ? m_exclusionList->insert(std::move(key)).second : m_exclusionList->erase(key) > 0)
            m_exclusionsChanged = true;
    }
    if (m_compareList != nullptr)
        TTreeScanner::MarkEntries(*m_exclusionList, *m_compareList);
    buildPages();
    fillPage(1);
    return true;
}

bool DifferencesModel::exclude(const std::vector<int>& selectedRows) {
    return changeSelection(selectedRows, true);
}

bool DifferencesModel::include(const std::vector<int>& selectedRows) {
    return changeSelection(selectedRows, false);
}

std::optional<std::string> DifferencesModel::detailsText(int row) const {
    if (m_compareList == nullptr || row < 0 || static_cast<std::size_t>(row) >= m_rows.size())
        return std::nullopt;
    const std::string& key = *m_rows[static_cast<std::size_t>(row)].key;
    const auto found = m_compareList->find(key);
    if (found == m_compareList->end())
        return std::nullopt;
    const TFileCompare& entry = found->second;
    const TFileDetails* oldSide = entry.Old.get();
    const TFileDetails* newSide = entry.New.get();

    std::vector<std::string> lines = {key, ""};
    if (entry.Excluded) {
        lines.emplace_back("Excluded file.");
        lines.emplace_back("");
    }
    if (newSide == nullptr)
        lines.emplace_back("Deleted file.");
    if (oldSide == nullptr)
        lines.emplace_back("New file.");
    if (newSide == nullptr || oldSide == nullptr)
        lines.emplace_back("");

    if (oldSide != nullptr && newSide != nullptr && oldSide->Size == newSide->Size) {
        lines.push_back("File sizes are identical (" + std::to_string(newSide->Size) + " bytes)");
    } else {
        if (newSide != nullptr)
            lines.push_back("Current filesize: " + std::to_string(newSide->Size) + " bytes");
        if (oldSide != nullptr)
            lines.push_back("Original filesize: " + std::to_string(oldSide->Size) + " bytes");
    }
    if (oldSide != nullptr && newSide != nullptr && oldSide->DateTime == newSide->DateTime) {
        lines.push_back("Date & times are identical (" + dateText(newSide->DateTime) + ")");
    } else {
        if (newSide != nullptr)
            lines.push_back("Current date & time: " + dateText(newSide->DateTime));
        if (oldSide != nullptr)
            lines.push_back("Original date & time: " + dateText(oldSide->DateTime));
    }
    if (oldSide != nullptr && newSide != nullptr && !oldSide->Hash.empty() && !newSide->Hash.empty() &&
        oldSide->Hash == newSide->Hash) {
        lines.emplace_back("File contents are identical");
    } else {
        if (newSide != nullptr && !newSide->Hash.empty())
            lines.push_back("Current MD5 hash: " + newSide->Hash);
        if (oldSide != nullptr && !oldSide->Hash.empty())
            lines.push_back("Original MD5 hash: " + oldSide->Hash);
    }
    return joinLines(lines);
}

} // namespace halcyra
