#include "shell/ProfileList.h"

#include "../platform/TestHome.h"
#include "../scheduling/SchedulingTestSupport.h"
#include "base/DisplayDateTime.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <locale.h>

namespace halcyra {
namespace {

using Names = std::vector<std::string>;
using testing::HeldLock;
using testing::ScopedStoreOptions;
using testing::TestHome;

const std::string Root(SettingsRootKey);

void makeProfile(const std::string& name, const char* type, const char* lastRun = nullptr,
                 const char* lastResult = nullptr) {
    TSettings profile(Root + "\\" + name);
    if (type != nullptr)
        profile.WriteString("ProfileType", type);
    else
        profile.WriteString("Source", "/tmp"); // the key exists, without a type
    if (lastRun != nullptr)
        profile.WriteString("LastRun", lastRun);
    if (lastResult != nullptr)
        profile.WriteString("LastResult", lastResult);
}

Names namesOf(const std::vector<ProfileRow>& rows) {
    Names names;
    for (const ProfileRow& row : rows)
        names.push_back(row.name);
    return names;
}

Names subKeys() {
    Names names;
    TSettings(Root).GetSubKeyNames(names);
    return names;
}

class ProfileListLoadTest : public ::testing::Test {
protected:
    TestHome m_home;
};

TEST_F(ProfileListLoadTest, RowsInNameOrderAndKeysWithoutATypeRemoved) {
    makeProfile("beta", "2", "", "");
    makeProfile("Alpha", "1", "01/02/2024 10:00:00", "Changes");
    makeProfile("NoType", nullptr);
    makeProfile("EmptyType", "");
    makeProfile("Text", "abc");
    makeProfile("Wraps", "256"); // low eight bits 0
    makeProfile("Big", "257");   // low eight bits 1
    makeProfile("Odd", "5");
    TSettings(Root + "\\Dword").WriteString("Source", "x");
    // A ProfileType that is not a string value reads as missing.
    {
        auto store = RegistryStore::open();
        ASSERT_TRUE(store);
        ASSERT_EQ(store->setValue(Root + "\\Dword", "ProfileType", REG_DWORD, std::string("\1\0\0\0", 4)),
                  RegStatus::Ok);
    }

    TSettings root(Root);
    Names asked;
    const ProfileListLoad load = loadProfileList(root, [&](std::string_view name) {
        asked.emplace_back(name);
        return std::string(name == "beta" ? "Yes (shared)" : "No");
    });
    EXPECT_FALSE(load.readFailed);
    EXPECT_EQ(namesOf(load.rows), (Names{"Alpha", "beta", "Big", "Odd"}));
    EXPECT_EQ(asked, namesOf(load.rows));
    EXPECT_EQ(load.removed, (Names{"Dword", "EmptyType", "NoType", "Text", "Wraps"}));
    EXPECT_EQ(subKeys(), (Names{"Alpha", "beta", "Big", "Odd"}));

    const ProfileRow& alpha = load.rows[0];
    EXPECT_EQ(alpha.type, 1);
    EXPECT_EQ(alpha.lastRun, "01/02/2024 10:00:00");
    EXPECT_EQ(alpha.lastResult, "Changes");
    const ProfileRow& beta = load.rows[1];
    EXPECT_EQ(beta.lastRun, "Never"); // empty reads as missing
    EXPECT_EQ(beta.lastResult, "");
    EXPECT_EQ((Names{beta.cell(0), beta.cell(1), beta.cell(2), beta.cell(3), beta.cell(4)}),
              (Names{"beta", "Group", "Never", "", "Yes (shared)"}));
    EXPECT_EQ(load.rows[2].cell(1), "Hash");
    EXPECT_EQ(load.rows[3].cell(1), "Error");
    EXPECT_EQ(alpha.cell(5), "");
}

TEST_F(ProfileListLoadTest, LockedStoreRemovesNothing) {
    makeProfile("Kept", "1");
    makeProfile("NoType", nullptr);
    {
        RegistryStore::Options quick;
        quick.busyTimeoutMs = 20;
        ScopedStoreOptions options(quick);
        HeldLock lock(m_home.settingsDb(), HeldLock::Exclusive);
        TSettings root(Root);
        const ProfileListLoad load = loadProfileList(root, {});
        EXPECT_TRUE(load.readFailed);
        EXPECT_FALSE(load.error.empty());
        EXPECT_TRUE(load.rows.empty());
        EXPECT_TRUE(load.removed.empty());
    }
    EXPECT_EQ(subKeys(), (Names{"Kept", "NoType"}));
}

TEST_F(ProfileListLoadTest, StoreBusyAfterTheListingRemovesNothing) {
    makeProfile("Alpha", "1");
    makeProfile("Beta", "1");
    makeProfile("NoType", nullptr);
    auto busy = std::make_shared<bool>(false);
    RegistryStore::Options failing;
    failing.readFault = [busy] { return *busy; };
    {
        ScopedStoreOptions options(failing);
        TSettings root(Root);
        const ProfileListLoad load = loadProfileList(root, [busy](std::string_view) {
            *busy = true; // every read after the first profile's fails
            return "No";
        });
        EXPECT_TRUE(load.readFailed);
        EXPECT_NE(load.error.find("database is locked"), std::string::npos) << load.error;
        ASSERT_EQ(load.rows.size(), 1u);
        EXPECT_EQ(load.rows[0].name, "Alpha");
        EXPECT_TRUE(load.removed.empty());
    }
    *busy = false;
    EXPECT_EQ(subKeys(), (Names{"Alpha", "Beta", "NoType"}));
}

// Counts the listings of the tasks: each one asks whether the cron daemon runs.
class CountingCrontab : public FakeCrontabBackend {
public:
    bool daemonRunning() override {
        ++daemonQueries;
        return FakeCrontabBackend::daemonRunning();
    }
    int daemonQueries = 0;
};

class ScheduleTextTest : public test::SchedulerTest {
protected:
    ScheduleTextTest() {
        crontab = m_counting;
        setSchedulerSetup(setup());
    }
    TestHome m_home;
    std::shared_ptr<CountingCrontab> m_counting = std::make_shared<CountingCrontab>();
};

TEST_F(ScheduleTextTest, TasksAreListedOnceForEveryProfile) {
    ASSERT_TRUE(create("Daily task", "\"Daily\""));
    ASSERT_TRUE(create("Pair task", "-i \"Weekly\" Monthly"));
    ASSERT_TRUE(create("Switch only", "-i"));
    ASSERT_TRUE(create("Other program", "Yearly", "/usr/bin/other"));
    const int listingsBefore = m_counting->daemonQueries;
    const ScheduleTextLookup lookup = listedScheduleTexts();
    EXPECT_EQ(m_counting->daemonQueries, listingsBefore); // nothing is listed before the first question
    EXPECT_EQ(lookup("Daily"), "Yes");
    EXPECT_EQ(lookup("daily"), "Yes");
    EXPECT_EQ(lookup("Weekly"), "Yes (shared)");
    EXPECT_EQ(lookup("Monthly"), "Yes (shared)");
    EXPECT_EQ(lookup("-i"), "No");
    EXPECT_EQ(lookup("Yearly"), "No");
    EXPECT_EQ(lookup("Hourly"), "No");
    EXPECT_EQ(m_counting->daemonQueries, listingsBefore + 1); // look-ups list nothing more
}

TEST_F(ScheduleTextTest, UnreachableSchedulerMakesEveryProfileUnscheduled) {
    ASSERT_TRUE(create("Daily task", "Daily"));
    crontab->isAvailable = false;
    setSchedulerSetup(setup());
    EXPECT_EQ(listedScheduleTexts()("Daily"), "No");
}

TEST(ProfileText, ComparesLettersAsUpperCaseAndOtherBytesByCode) {
    EXPECT_EQ(compareProfileText("abc", "ABC"), 0);
    EXPECT_LT(compareProfileText("abc", "ABD"), 0);
    EXPECT_LT(compareProfileText("ab", "abc"), 0);
    EXPECT_GT(compareProfileText("b", "Abc"), 0);
    EXPECT_LT(compareProfileText("a", "_"), 0); // "A" (0x41) before "_" (0x5F)
    EXPECT_LT(compareProfileText("Z", "\xC3\xA9"), 0);
    EXPECT_LT(compareProfileText("10", "9"), 0); // text, not numbers
    EXPECT_EQ(compareProfileText("", ""), 0);
}

// Rows with distinct cells in every column, in name order as the store lists them.
class ProfileSortTest : public ::testing::Test {
protected:
    ProfileSortTest() {
        m_de = newlocale(LC_TIME_MASK, "de_DE.UTF-8", nullptr);
        if (m_de != nullptr)
            m_previous = uselocale(m_de);
    }
    ~ProfileSortTest() override {
        if (m_de != nullptr) {
            uselocale(m_previous);
            freelocale(m_de);
        }
    }
    std::string at(int year, int month, int day, int hour) const {
        return formatDisplayDateTime(test::utc(year, month, day, hour));
    }
    std::vector<ProfileRow> rows() const {
        return {
            {"alpha", 1, at(2024, 1, 1, 9), "No Changes", "Yes"},
            {"Beta", 2, "Never", "", "No"},
            {"delta", 1, at(1999, 12, 31, 23), "Changes", "Yes (shared)"},
            {"Gamma", 1, at(2024, 1, 1, 9), "Aborted", "No"},
        };
    }
    Names sorted(int column, bool ascending) const {
        std::vector<ProfileRow> list = rows();
        sortProfileRows(list, {column, ascending});
        return namesOf(list);
    }

    locale_t m_de = nullptr;
    locale_t m_previous = nullptr;
};

TEST_F(ProfileSortTest, EveryColumnBothWays) {
    ASSERT_NE(m_de, nullptr) << "de_DE.UTF-8 is not installed (locales-all)";
    EXPECT_EQ(sorted(0, true), (Names{"alpha", "Beta", "delta", "Gamma"}));
    EXPECT_EQ(sorted(0, false), (Names{"Gamma", "delta", "Beta", "alpha"}));
    EXPECT_EQ(sorted(1, true), (Names{"Beta", "alpha", "delta", "Gamma"}));
    EXPECT_EQ(sorted(1, false), (Names{"alpha", "delta", "Gamma", "Beta"}));
    EXPECT_EQ(sorted(3, true), (Names{"Beta", "Gamma", "delta", "alpha"}));
    EXPECT_EQ(sorted(3, false), (Names{"alpha", "delta", "Gamma", "Beta"}));
    EXPECT_EQ(sorted(4, true), (Names{"Beta", "Gamma", "alpha", "delta"}));
    EXPECT_EQ(sorted(4, false), (Names{"delta", "alpha", "Beta", "Gamma"}));
    // "31.12.1999" comes before "01.01.2024" as a date though not as text; two runs in the same second
    // compare equal and keep their order; "Never" follows the dates.
    EXPECT_EQ(sorted(2, true), (Names{"delta", "alpha", "Gamma", "Beta"}));
    EXPECT_EQ(sorted(2, false), (Names{"Beta", "alpha", "Gamma", "delta"}));
    // A column outside 0 to 4 sorts by name.
    EXPECT_EQ(sorted(7, true), sorted(0, true));
    EXPECT_EQ(sorted(-1, false), sorted(0, false));
}

TEST_F(ProfileSortTest, LastRunFallsBackToTextForCellsThatAreNoDates) {
    ASSERT_NE(m_de, nullptr);
    const std::vector<ProfileRow> list = rows();
    EXPECT_LT(compareProfileRows(list[2], list[0], {2, true}), 0); // 1999 before 2024
    EXPECT_GT(compareProfileRows(list[2], list[0], {2, false}), 0);
    EXPECT_EQ(compareProfileRows(list[0], list[3], {2, true}), 0);
    EXPECT_LT(compareProfileRows(list[0], list[1], {2, true}), 0); // a date before "Never"
    ProfileRow other = list[1];
    other.lastRun = "2024-01-01 09:00:00"; // another locale's text: compared as text
    EXPECT_LT(compareProfileRows(other, list[1], {2, true}), 0);
    EXPECT_LT(compareProfileRows(list[0], other, {2, true}), 0); // dates first, whatever the text
}

TEST(ProfileSortOrder, StoredOrderOutsideTheColumnsReadsAsTheFirst) {
    TestHome home;
    TSettings root(Root);
    EXPECT_EQ(readProfileSort(root), (ProfileSort{0, true}));
    writeProfileSort(root, {4, false});
    EXPECT_EQ(root.ReadString("SortColumn"), "4");
    EXPECT_EQ(root.ReadString("SortAscending"), "N");
    EXPECT_EQ(readProfileSort(root), (ProfileSort{4, false}));
    for (const char* stored : {"5", "-1", "x", "2147483648"}) {
        root.WriteString("SortColumn", stored);
        EXPECT_EQ(readProfileSort(root).column, 0) << stored;
    }
    root.WriteString("SortAscending", "n"); // not exactly "N": the default
    EXPECT_TRUE(readProfileSort(root).ascending);
}

TEST(ProfileSelection, DoubleClickChoiceOpensOnAKnownItem) {
    EXPECT_EQ(doubleClickPreset(-1), 0);
    EXPECT_EQ(doubleClickPreset(4), 4);
    EXPECT_EQ(doubleClickPreset(5), 0);
    EXPECT_EQ(doubleClickPreset(257), 0); // not taken to its low eight bits
}

} // namespace
} // namespace halcyra
