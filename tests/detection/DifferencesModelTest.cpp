#include "detection/DifferencesModel.h"

#include "hashing/Hashing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {
namespace {

const std::string kUnreadable(CannotOpenFilePlaceholder);
constexpr TDateTimeSecs kAfternoon = 1709557322; // 04/03/2024 13:02:02
constexpr TDateTimeSecs kMidnight = 1709596800;  // 05/03/2024 00:00:00
using Keys = std::vector<std::string>;
using Texts = std::array<std::string, DifferenceColumnCount>;

DifferencesModel modelOf(CompareList* list, KeySet* exclusions = nullptr) {
    const auto british = DisplayDateTimeFormat::forLocale("en_GB.UTF-8");
    EXPECT_TRUE(british) << "en_GB.UTF-8 is not installed (scripts/setup installs locales-all)";
    return DifferencesModel(list, exclusions, british.value_or(DisplayDateTimeFormat::current()));
}

// Sets one entry: a side is absent when its size is negative.
void set(CompareList& list, const std::string& key, std::uint8_t status, std::int64_t oldSize,
         std::int64_t newSize, bool excluded = false, std::string oldHash = "AA", std::string newHash = "AA",
         TDateTimeSecs oldTime = kAfternoon, TDateTimeSecs newTime = kAfternoon) {
    TFileCompare& entry = list[key];
    entry.Old =
        oldSize < 0 ? nullptr : std::make_unique<TFileDetails>(TFileDetails{oldSize, oldHash, oldTime});
    entry.New =
        newSize < 0 ? nullptr : std::make_unique<TFileDetails>(TFileDetails{newSize, newHash, newTime});
    entry.Excluded = excluded;
    entry.Status = status;
}

std::string numbered(int i) {
    char key[32];
    std::snprintf(key, sizeof key, "/f%06d.txt", i);
    return key;
}

Keys keysOf(const DifferencesModel& model) {
    Keys keys;
    for (const DifferenceRow& row : model.rows())
        keys.push_back(*row.key);
    return keys;
}

void refill(DifferencesModel& model, int page = 1) {
    model.buildPages();
    model.fillPage(page);
}

// Lists whose tab 0 holds 250, 251, 500 or 501 changes among entries of every other kind: under every tab
// and filter the pages hold 250 rows each but the last, and together exactly the shown entries, in order.
TEST(DifferencesModel, PagesHoldEveryShownEntryOnceUnderEveryTabAndFilter) {
    for (const int wanted : {250, 251, 500, 501}) {
        CompareList list;
        int next = 0;
        for (int i = 0; i < wanted; ++i) {
            const std::int64_t oldSize = i % 3 == 1 ? -1 : 1; // new, changed or deleted in turn
            const std::int64_t newSize = i % 3 == 2 ? -1 : 2;
            set(list, numbered(next++), 1, oldSize, newSize);
            if (i % 4 == 0)
                set(list, numbered(next++), 0, 1, 1, i % 8 == 0); // unchanged
            if (i % 5 == 0)
                set(list, numbered(next++), 1, oldSize, newSize, true);
        }
        DifferencesModel model = modelOf(&list);
        for (int tab = 0; tab < 3; ++tab) {
            for (int filters = 0; filters < 8; ++filters) {
                SCOPED_TRACE(testing::Message() << wanted << " tab " << tab << " filters " << filters);
                model.setTab(static_cast<DifferencesModel::Tab>(tab));
                model.setShowNew((filters & 1) == 0);
                model.setShowDeleted((filters & 2) == 0);
                model.setShowChanged((filters & 4) == 0);
                Keys expected;
                for (const auto& [key, entry] : list) {
                    const bool kindShown = !entry.Old   ? model.showNew()
                                           : !entry.New ? model.showDeleted()
                                                        : model.showChanged();
                    if (entry.Status != 0 && (tab == 1 || (tab == 0) != entry.Excluded) && kindShown)
                        expected.push_back(key);
                }
                ASSERT_TRUE(tab != 0 || filters != 0 || expected.size() == static_cast<std::size_t>(wanted));
                model.buildPages();
                ASSERT_EQ(model.pageCount(),
                          std::max<int>(1, (static_cast<int>(expected.size()) + 249) / 250));
                Keys seen;
                for (int page = 1; page <= model.pageCount(); ++page) {
                    model.fillPage(page);
                    EXPECT_TRUE(page == model.pageCount() || model.rows().size() == 250u);
                    const Keys keys = keysOf(model);
                    seen.insert(seen.end(), keys.begin(), keys.end());
                }
                EXPECT_EQ(seen, expected);
            }
        }
    }
    CompareList unchanged;
    set(unchanged, "/same.txt", 0, 1, 1);
    DifferencesModel empty = modelOf(&unchanged);
    empty.setTab(DifferencesModel::TabModifiedIncExcluded);
    refill(empty);
    EXPECT_EQ(empty.pagesLabel(), "1 page(s)");
    EXPECT_TRUE(empty.rows().empty());
    EXPECT_EQ(modelOf(nullptr).pagesLabel(), "No pages");
}

TEST(DifferencesModel, RowTextsByKind) {
    CompareList list;
    set(list, "/all.txt", 7, 3, 4, true, "0011", "2233", kAfternoon, kMidnight);
    set(list, "/both-unreadable.bin", 2, 1, 1, false, kUnreadable, kUnreadable);
    set(list, "/new.txt", 8, -1, 5, false, "", "N1", 0, kMidnight);
    set(list, "/old.txt", 16, 6, -1, false, "O1");
    set(list, "/size.txt", 1, 9, 10, false, "abcd", "ABCD"); // hashes equal but for case
    set(list, "/unhashed-unreadable.bin", 2, 1, 1, false, "", kUnreadable);
    DifferencesModel model = modelOf(&list);
    model.setTab(DifferencesModel::TabModifiedIncExcluded);
    refill(model);
    ASSERT_EQ(model.rows().size(), 6u);
    EXPECT_EQ(model.rows()[0].texts,
              (Texts{"/all.txt", "4", "3", "05/03/2024", "04/03/2024 13:02:02", "2233", "0011",
                     "Excluded file. File size. Date & time. Contents changed."}));
    EXPECT_EQ(model.rows()[1].texts, (Texts{"/both-unreadable.bin", "", "", "", "", kUnreadable, kUnreadable,
                                            "Could not read file."}));
    EXPECT_EQ(model.rows()[2].texts, (Texts{"/new.txt", "5", "", "05/03/2024", "", "N1", "", "Created"}));
    EXPECT_EQ(model.rows()[3].texts,
              (Texts{"/old.txt", "", "6", "", "04/03/2024 13:02:02", "", "O1", "Deleted"}));
    EXPECT_EQ(model.rows()[4].texts, (Texts{"/size.txt", "10", "9", "", "", "", "", "File size."}));
    EXPECT_EQ(model.rows()[5].texts,
              (Texts{"/unhashed-unreadable.bin", "", "", "", "", kUnreadable, "", "Could not read file."}));
}

TEST(DifferencesModel, DetailsTextLines) {
    CompareList list;
    set(list, "/a&b.txt", 2, 7, 7, false, "abcd", "ABCD");
    set(list, "/gone.txt", 16, 2, -1, true, "", "", kMidnight);
    set(list, "/same.txt", 5, 7, 8, false, "ABCD", "ABCD", kAfternoon, kMidnight);
    DifferencesModel model = modelOf(&list);
    model.setTab(DifferencesModel::TabModifiedIncExcluded);
    refill(model);
    EXPECT_EQ(model.detailsText(0), "/a&b.txt\n\nFile sizes are identical (7 bytes)\n"
                                    "Date & times are identical (04/03/2024 13:02:02)\n"
                                    "Current MD5 hash: ABCD\nOriginal MD5 hash: abcd");
    EXPECT_EQ(model.detailsText(1), "/gone.txt\n\nExcluded file.\n\nDeleted file.\n\n"
                                    "Original filesize: 2 bytes\nOriginal date & time: 05/03/2024");
    EXPECT_EQ(model.detailsText(2), "/same.txt\n\nCurrent filesize: 8 bytes\nOriginal filesize: 7 bytes\n"
                                    "Current date & time: 05/03/2024\n"
                                    "Original date & time: 04/03/2024 13:02:02\nFile contents are identical");
    EXPECT_EQ(model.detailsText(3), std::nullopt);
}

TEST(DifferencesModel, SortOrdersNumbersDatesAndTextsOfThePageOnly) {
    CompareList list;
    set(list, "/b.txt", 1, 110, 10);
    set(list, "/A.txt", 1, 109, 9);
    set(list, "/c.txt", 16, 1, -1);
    for (int i = 0; i < 300; ++i)
        set(list, numbered(i), 1, 1, 2);
    DifferencesModel model = modelOf(&list);
    refill(model);
    model.sortByColumn(ColCurrentSize);
    const Keys sorted = keysOf(model); // empty first, then 2 (stable), 9, 10
    EXPECT_EQ(Keys(sorted.begin(), sorted.begin() + 3), (Keys{"/c.txt", numbered(0), numbered(1)}));
    EXPECT_EQ(Keys(sorted.end() - 2, sorted.end()), (Keys{"/A.txt", "/b.txt"}));
    model.sortByColumn(ColCurrentSize); // again: descending
    EXPECT_EQ(model.rows()[0].texts[ColCurrentSize] + "," + model.rows()[1].texts[ColCurrentSize], "10,9");
    model.fillPage(2); // a refill shows list order and keeps the sort state
    EXPECT_EQ(keysOf(model).front(), numbered(247));
    EXPECT_EQ(model.sortColumn(), ColCurrentSize);
    model.sortByColumn(ColFilename);
    EXPECT_EQ(model.rows().size(), 53u); // page 2 alone

    EXPECT_GT(model.compareTexts("02/01/2024", "10/12/2023 10:00:00", true), 0);
    EXPECT_LT(model.compareTexts("02/01/2024", "10/12/2023 10:00:00", false), 0);
    // 31/12/1899 00:00:00 and before compare as texts, as do numbers beyond 64 bits.
    EXPECT_LT(model.compareTexts("01/01/1900", "31/12/1899", true), 0);
    EXPECT_GT(model.compareTexts("01/01/1900", "31/12/1899 00:00:01", true), 0);
    EXPECT_GT(model.compareTexts("99999999999999999999", "100000000000000000000", true), 0);
    EXPECT_EQ(model.compareTexts("abc", "ABC", true), 0);
}

// Moving files between tabs is driven through the window; here the menu state and the filter label.
TEST(DifferencesModel, MenuStateAndFilterLabel) {
    CompareList list;
    set(list, "/a.txt", 1, 1, 2);
    set(list, "/b.txt", 8, -1, 2);
    KeySet exclusions{"/b.txt"};
    DifferencesModel model = modelOf(&list, &exclusions);
    model.setTab(DifferencesModel::TabModifiedIncExcluded);
    refill(model);
    const auto both = model.menuState({1, 0});
    EXPECT_TRUE(both.exclude && both.include && !both.selectAll);
    DifferencesModel withoutList = modelOf(&list);
    refill(withoutList);
    EXPECT_FALSE(withoutList.exclude({0}) || withoutList.menuState({0}).exclude ||
                 withoutList.exclusionsChanged());
    EXPECT_EQ(withoutList.filterLabel(), "No items are being filtered.");
    withoutList.setShowNew(false);
    withoutList.setShowDeleted(false);
    EXPECT_EQ(withoutList.filterLabel(), "New files hidden. Delete files hidden.");
}

} // namespace
} // namespace halcyra
