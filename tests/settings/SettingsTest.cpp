#include "settings/Settings.h"

#include "../platform/TestHome.h"
#include "platform/RegistryStore.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

using namespace halcyra;
using halcyra::testing::failFromWrite;
using halcyra::testing::HeldLock;
using halcyra::testing::ScopedStoreOptions;
using halcyra::testing::TestHome;

namespace {

using Names = std::vector<std::string>;

const std::string kRoot(SettingsRootKey);
const std::string kDaily = kRoot + "\\Daily";

class SettingsTest : public ::testing::Test {
protected:
    // Direct access to the store, for values TSettings never writes itself.
    RegistryStore& store() {
        if (!m_store)
            m_store = RegistryStore::open();
        return *m_store;
    }

    TestHome m_home;
    std::unique_ptr<RegistryStore> m_store;
};

TEST_F(SettingsTest, IntegerTextAcceptsBlanksSignAndDigitsThatFit) {
    EXPECT_EQ(integerFromText("42"), 42);
    EXPECT_EQ(integerFromText("   -5"), -5);
    EXPECT_EQ(integerFromText("+7"), 7);
    EXPECT_EQ(integerFromText("00000000000000000012"), 12);
    EXPECT_EQ(integerFromText("2147483647"), 2147483647);
    EXPECT_EQ(integerFromText("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", " ", "-", "+", "2147483648", "-2147483649", "99999999999999999999", "12abc",
                            "4 2", "42 ", "\t5", "0x10", "$10", "--1", "1e3", "\xD9\xA3"})
        EXPECT_EQ(integerFromText(bad), std::nullopt) << bad;
}

TEST_F(SettingsTest, ValuesAreStoredAsTextInTheirEncodings) {
    TSettings s(kDaily);
    s.WriteString("Source", "/home/u/");
    s.WriteInteger("Count", -5);
    s.WriteBool("On", true);
    s.WriteBool("Off", false);
    s.WriteTriState("Yes", 1);
    s.WriteTriState("No", 0);
    s.WriteTriState("Grey", 5);
    for (const auto& [name, text] : std::vector<std::pair<std::string, std::string>>{{"Source", "/home/u/"},
                                                                                     {"Count", "-5"},
                                                                                     {"On", "Y"},
                                                                                     {"Off", "N"},
                                                                                     {"Yes", "Y"},
                                                                                     {"No", "N"},
                                                                                     {"Grey", "G"}}) {
        const RegValueRead value = store().queryValue(kDaily, name);
        EXPECT_EQ(value.type, REG_SZ) << name;
        EXPECT_EQ(value.data, text) << name;
    }
    EXPECT_EQ(s.ReadString("Source"), "/home/u/");
    EXPECT_EQ(s.ReadInteger("Count"), -5);
    EXPECT_TRUE(s.ReadBool("On"));
    EXPECT_FALSE(s.ReadBoolDef("Off", true));
    EXPECT_EQ(s.ReadTriState("Grey"), 2);
    EXPECT_EQ(s.ReadTriStateDef("No", 2), 0);
    EXPECT_EQ(s.ReadTriState("Yes"), 1);
}

TEST_F(SettingsTest, MissingEmptyOrForeignValuesGiveTheDefault) {
    TSettings s(kDaily);
    s.WriteString("FileMasks", "");
    EXPECT_EQ(s.ReadStringDef("FileMasks", "*.*"), "*.*");
    EXPECT_EQ(s.ReadStringDef("Absent", "*.*"), "*.*");
    EXPECT_EQ(s.ReadString("Absent"), "");
    EXPECT_EQ(s.ReadInteger("Absent"), -1);
    EXPECT_FALSE(s.ReadBool("Absent"));
    EXPECT_EQ(s.ReadTriState("Absent"), 0);
    EXPECT_EQ(TSettings(kRoot + "\\Nobody").ReadIntegerDef("x", 9), 9);

    for (const char* text : {"y", "Yes", "1", " Y", "n"}) {
        s.WriteString("Flag", text);
        EXPECT_FALSE(s.ReadBool("Flag")) << text;
        EXPECT_TRUE(s.ReadBoolDef("Flag", true)) << text;
        EXPECT_EQ(s.ReadTriStateDef("Flag", 7), 7) << text;
    }
    s.WriteString("Number", "12abc");
    EXPECT_EQ(s.ReadIntegerDef("Number", 3), 3);
    s.WriteString("Number", " -5");
    EXPECT_EQ(s.ReadIntegerDef("Number", 3), -5);

    // Only string values are read; an expandable string as it is stored; the text ends at a NUL.
    ASSERT_EQ(store().setDword(kDaily, "Dword", 42), RegStatus::Ok);
    ASSERT_EQ(store().setValue(kDaily, "Binary", REG_BINARY, "Y"), RegStatus::Ok);
    ASSERT_EQ(store().setString(kDaily, "Expand", "$HOME/x", REG_EXPAND_SZ), RegStatus::Ok);
    ASSERT_EQ(store().setString(kDaily, "Nul", std::string("abc\0def", 7)), RegStatus::Ok);
    ASSERT_EQ(store().setString(kDaily, "LeadingNul", std::string("\0abc", 4)), RegStatus::Ok);
    EXPECT_EQ(s.ReadIntegerDef("Dword", 5), 5);
    EXPECT_FALSE(s.ReadBool("Binary"));
    EXPECT_EQ(s.ReadString("Expand"), "$HOME/x");
    EXPECT_EQ(s.ReadString("Nul"), "abc");
    EXPECT_EQ(s.ReadStringDef("LeadingNul", "d"), "d");
}

TEST_F(SettingsTest, SubKeyReadsLookBelowTheKey) {
    TSettings(kDaily).WriteString("Type", "S");
    TSettings root(kRoot);
    EXPECT_EQ(root.ReadSubKeyString("Daily", "Type", "?"), "S");
    EXPECT_EQ(root.ReadSubKeyString("DAILY", "TYPE", "?"), "S");
    EXPECT_EQ(root.ReadSubKeyString("Weekly", "Type", "?"), "?");
    EXPECT_EQ(root.ReadSubKeyInteger("Daily", "Type", 4), 4);
    TSettings(kDaily).WriteBool("B", true);
    EXPECT_TRUE(root.ReadSubKeyBool("Daily", "B", false));
    EXPECT_EQ(root.ReadSubKeyTriState("Daily", "B", 0), 1);
}

TEST_F(SettingsTest, ProfileListIsCaseInsensitiveOrderAndUntouchedWhenEmpty) {
    TSettings root(kRoot);
    root.WriteString("ProgramWide", "x"); // values are not profiles
    Names list{"kept"};
    EXPECT_FALSE(root.GetSubKeyNames(list));
    EXPECT_EQ(list, Names{"kept"});
    EXPECT_FALSE(TSettings("\\Nowhere").GetSubKeyNames(list));
    for (const char* name : {"weekly", "Daily", "archive", "Zed"})
        TSettings(kRoot + "\\" + name).WriteString("Type", "S");
    EXPECT_TRUE(root.GetSubKeyNames(list));
    EXPECT_EQ(list, (Names{"archive", "Daily", "weekly", "Zed"}));
    EXPECT_TRUE(root.SubKeyExists("DAILY"));
    EXPECT_FALSE(root.SubKeyExists("Monthly"));
    EXPECT_FALSE(root.SubKeyExists(""));
}

TEST_F(SettingsTest, ValueNamesInCreationOrder) {
    TSettings s(kDaily);
    s.WriteString("Source", "a");
    s.WriteString("Dest", "b");
    s.WriteString("SOURCE", "c");
    Names list{"old"};
    EXPECT_TRUE(s.GetValueNames("", list));
    EXPECT_EQ(list, (Names{"Source", "Dest"}));
    EXPECT_TRUE(TSettings(kRoot).GetValueNames("daily", list));
    EXPECT_EQ(list, (Names{"Source", "Dest"}));
    TSettings(kRoot + "\\Empty").WriteString("x", "1");
    EXPECT_TRUE(TSettings(kRoot + "\\Empty").DeleteValue("X"));
    EXPECT_TRUE(TSettings(kRoot).GetValueNames("Empty", list));
    EXPECT_TRUE(list.empty());
    list = {"old"};
    EXPECT_FALSE(TSettings(kRoot).GetValueNames("Missing", list));
    EXPECT_EQ(list, Names{"old"});

    EXPECT_TRUE(s.DeleteValue("dest"));
    EXPECT_FALSE(s.DeleteValue("dest"));
    EXPECT_FALSE(TSettings(kRoot + "\\Missing").DeleteValue("Dest"));
    EXPECT_FALSE(store().keyExists(kRoot + "\\Missing") == RegStatus::Ok); // not created by the attempt
}

TEST_F(SettingsTest, KeyNameIsTheStoredSpelling) {
    EXPECT_EQ(TSettings(kRoot).KeyName(), "Halcyra");
    EXPECT_EQ(TSettings(kDaily).KeyName(), "Daily");
    TSettings(kDaily).WriteString("Type", "S");
    EXPECT_EQ(TSettings(kRoot + "\\daily").KeyName(), "Daily");
    EXPECT_EQ(TSettings(kRoot + "\\DAILY").Key(), kRoot + "\\DAILY");
    // A colon is part of a name: "x:y" never stands for profile "y".
    TSettings(kRoot + "\\x:y").WriteString("Type", "S");
    EXPECT_EQ(TSettings(kRoot + "\\X:Y").KeyName(), "x:y");
    EXPECT_EQ(TSettings(kRoot + "\\a:b").KeyName(), "a:b");
}

TEST_F(SettingsTest, ProfileNamesRejectSeparatorsWildcardsAndControlCharacters) {
    for (const char* good : {"", "Daily", " spaced ", "...", "..",
                             "\xC3\x9C"
                             "ber",
                             "a.b-c_d (1)"})
        EXPECT_TRUE(TSettings::IsValidName(good)) << good;
    for (const char* bad :
         {"a\\b", "a/b", "a:b", "a*", "a?", "a\"b", "<a", "a>", "a|b", "a\tb", "a\nb", "\r", "\x1F", "a\x7F"})
        EXPECT_FALSE(TSettings::IsValidName(bad)) << bad;
    EXPECT_FALSE(TSettings::IsValidName(std::string("a\0b", 3)));
    EXPECT_TRUE(TSettings::IsValidName(std::string(1000, 'x')));
}

TEST_F(SettingsTest, DeleteSubKeyRemovesAProfileWithItsSubtreeButNeverTheRoot) {
    TSettings root(kRoot);
    root.WriteString("ProgramWide", "kept");
    TSettings(kDaily + "\\Nested").WriteString("v", "1");
    TSettings(kDaily).WriteString("Type", "S");
    TSettings(kRoot + "\\Weekly").WriteString("Type", "S");

    EXPECT_TRUE(root.DeleteSubKey("daily"));
    EXPECT_FALSE(root.SubKeyExists("Daily"));
    EXPECT_FALSE(root.DeleteSubKey("Daily"));
    EXPECT_TRUE(TSettings(kRoot + "\\Weekly").DeleteSubKey(""));
    EXPECT_FALSE(root.SubKeyExists("Weekly"));

    EXPECT_FALSE(root.DeleteSubKey(""));
    EXPECT_FALSE(TSettings("\\SOFTWARE\\orrendalesoftware").DeleteSubKey(""));
    EXPECT_FALSE(TSettings("\\Software").DeleteSubKey("OrrendaleSoftware"));
    EXPECT_FALSE(TSettings("\\").DeleteSubKey("Software"));
    EXPECT_FALSE(TSettings("\\").DeleteSubKey(""));
    EXPECT_EQ(root.ReadString("ProgramWide"), "kept");

    TSettings("\\Software\\Other").WriteString("v", "1"); // a sibling of the program's tree is not protected
    EXPECT_TRUE(TSettings("\\Software").DeleteSubKey("Other"));
}

TEST_F(SettingsTest, RenameKeepsEveryValueAndSubKey) {
    TSettings(kDaily).WriteString("Source", "/src/");
    TSettings(kDaily).WriteInteger("Count", 3);
    ASSERT_EQ(store().setValue(kDaily, "Blob", REG_BINARY, std::string("\0\xFF", 2)), RegStatus::Ok);
    ASSERT_EQ(store().setDword(kDaily, "Dword", 7), RegStatus::Ok);
    TSettings(kDaily + "\\Sub").WriteString("v", "deep");

    TSettings root(kRoot);
    ASSERT_TRUE(root.CopySubKey("Daily", "Nightly", true));
    EXPECT_FALSE(root.SubKeyExists("Daily"));
    TSettings nightly(kRoot + "\\Nightly");
    Names names;
    ASSERT_TRUE(nightly.GetValueNames("", names));
    EXPECT_EQ(names, (Names{"Source", "Count", "Blob", "Dword"}));
    EXPECT_EQ(nightly.ReadString("Source"), "/src/");
    EXPECT_EQ(nightly.ReadInteger("Count"), 3);
    EXPECT_EQ(store().queryValue(kRoot + "\\Nightly", "Blob").data, std::string("\0\xFF", 2));
    EXPECT_EQ(store().queryValue(kRoot + "\\Nightly", "Dword").type, REG_DWORD);
    EXPECT_EQ(nightly.ReadSubKeyString("Sub", "v", ""), "deep");

    // A change of letter case only renames in place.
    ASSERT_TRUE(root.CopySubKey("nightly", "NIGHTLY", true));
    EXPECT_EQ(TSettings(kRoot + "\\nightly").KeyName(), "NIGHTLY");
    EXPECT_EQ(TSettings(kRoot + "\\Nightly").ReadInteger("Count"), 3);
    EXPECT_TRUE(root.CopySubKey("Nightly", "Nightly", true)); // onto itself: nothing lost
    EXPECT_EQ(TSettings(kRoot + "\\Nightly").ReadInteger("Count"), 3);
}

TEST_F(SettingsTest, CopyOntoAnExistingProfileKeepsItsOtherValues) {
    TSettings(kDaily).WriteString("Source", "/a/");
    TSettings(kDaily).WriteString("Shared", "from daily");
    TSettings(kRoot + "\\Copy").WriteString("Own", "kept");
    TSettings(kRoot + "\\Copy").WriteString("Shared", "old");
    TSettings root(kRoot);
    ASSERT_TRUE(root.CopySubKey("Daily", "Copy", false));
    TSettings copy(kRoot + "\\Copy");
    EXPECT_EQ(copy.ReadString("Own"), "kept");
    EXPECT_EQ(copy.ReadString("Shared"), "from daily");
    EXPECT_EQ(copy.ReadString("Source"), "/a/");
    EXPECT_EQ(TSettings(kDaily).ReadString("Source"), "/a/");

    EXPECT_FALSE(root.CopySubKey("Missing", "Other", false));
    EXPECT_FALSE(root.SubKeyExists("Other"));
    EXPECT_FALSE(root.CopySubKey("Daily", "", true));
    EXPECT_FALSE(root.CopySubKey("", "Other", true));
    EXPECT_FALSE(root.CopySubKey("Daily", "Daily\\Inner", true));
    EXPECT_EQ(TSettings(kDaily).ReadString("Source"), "/a/");
}

TEST_F(SettingsTest, FailedMoveLeavesTheSourceIntact) {
    for (int i = 0; i < 10; ++i)
        TSettings(kDaily).WriteInteger("v" + std::to_string(i), i);
    RegistryStore::Options options;
    options.writeFault = failFromWrite(6);
    {
        ScopedStoreOptions faulty(options);
        EXPECT_FALSE(TSettings(kRoot).CopySubKey("Daily", "Moved", true));
    }
    TSettings root(kRoot);
    EXPECT_FALSE(root.SubKeyExists("Moved"));
    Names names;
    ASSERT_TRUE(TSettings(kDaily).GetValueNames("", names));
    EXPECT_EQ(names.size(), 10u);
    EXPECT_EQ(TSettings(kDaily).ReadInteger("v9"), 9);
}

TEST_F(SettingsTest, ObjectsOnOneKeySeeEachOthersWritesAtOnce) {
    TSettings a(kDaily);
    TSettings b(kRoot + "\\DAILY");
    for (int i = 0; i < 20; ++i) {
        a.WriteInteger("Counter", i);
        ASSERT_EQ(b.ReadInteger("Counter"), i);
        b.WriteInteger("Counter", i + 100);
        ASSERT_EQ(a.ReadInteger("Counter"), i + 100);
    }
    EXPECT_TRUE(b.DeleteValue("Counter"));
    EXPECT_EQ(a.ReadIntegerDef("Counter", -7), -7);
}

TEST_F(SettingsTest, ProcessesWritingAtOnceLoseNothing) {
    TSettings(kRoot).WriteString("Ready", "Y"); // the database exists before the race
    constexpr int kProcesses = 4;
    constexpr int kWrites = 150;
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            char byte;
            const ssize_t released = read(gate[0], &byte, 1); // returns 0 when the parent opens the gate
            int failures = released == 0 ? 0 : 1;
            TSettings shared(kDaily);
            for (int i = 0; i < kWrites; ++i) {
                const std::string name = "P" + std::to_string(p) + "_" + std::to_string(i);
                shared.WriteInteger(name, i);
                TSettings(kRoot + "\\" + name).WriteString("Type", "S");
                if (shared.ReadInteger(name) != i)
                    ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]); // all start together
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Names values;
    ASSERT_TRUE(TSettings(kDaily).GetValueNames("", values));
    EXPECT_EQ(values.size(), std::size_t{kProcesses * kWrites});
    Names profiles;
    ASSERT_TRUE(TSettings(kRoot).GetSubKeyNames(profiles));
    EXPECT_EQ(profiles.size(), std::size_t{kProcesses * kWrites + 1});
    TSettings check(kDaily);
    for (int p = 0; p < kProcesses; ++p)
        for (int i = 0; i < kWrites; i += 37)
            EXPECT_EQ(check.ReadInteger("P" + std::to_string(p) + "_" + std::to_string(i)), i);
}

TEST_F(SettingsTest, LockedStoreReadsAsErrorNotAsMissing) {
    TSettings(kDaily).WriteString("Type", "S");
    {
        TSettings before(kDaily);
        EXPECT_EQ(before.tryReadSubKeyString("", "Type").state, SettingState::Value);
        EXPECT_EQ(before.tryReadSubKeyString("", "Absent").state, SettingState::Missing);
        EXPECT_EQ(TSettings(kRoot).trySubKeyNames().names, Names{"Daily"});
        EXPECT_EQ(TSettings(kRoot + "\\Nobody").trySubKeyNames().state, SettingState::Missing);
        EXPECT_EQ(TSettings(kDaily).trySubKeyNames().state, SettingState::Value); // none, but readable
    }
    RegistryStore::Options quick;
    quick.busyTimeoutMs = 20;
    ScopedStoreOptions options(quick);
    HeldLock lock(m_home.settingsDb(), HeldLock::Exclusive);
    TSettings s(kDaily);
    const SettingText type = s.tryReadSubKeyString("", "Type");
    EXPECT_EQ(type.state, SettingState::Error);
    EXPECT_FALSE(type.error.empty());
    EXPECT_EQ(TSettings(kRoot).trySubKeyNames().state, SettingState::Error);
    // The ordinary interface still answers with defaults and reports nothing.
    EXPECT_EQ(s.ReadStringDef("Type", "default"), "default");
    Names list{"kept"};
    EXPECT_FALSE(TSettings(kRoot).GetSubKeyNames(list));
    EXPECT_EQ(list, Names{"kept"});
    s.WriteString("Type", "X");
}

TEST_F(SettingsTest, FailedWritesReportTheStoresReasonAndKeepTheOldValue) {
    const std::string db = m_home.settingsDb();
    TSettings s(kDaily);
    ASSERT_TRUE(s.WriteString("Type", "old"));
    RegistryStore::Options quick;
    quick.busyTimeoutMs = 20;
    {
        ScopedStoreOptions options(quick);
        HeldLock lock(db, HeldLock::Writer); // another process in the middle of a long write
        TSettings busy(kDaily);
        EXPECT_FALSE(busy.WriteString("Type", "new"));
        EXPECT_FALSE(busy.WriteInteger("Count", 1));
        EXPECT_EQ(busy.WriteError(),
                  "The settings database \"" + db + "\" could not be written: database is locked");
    }
    quick.writeFault = [] { return true; }; // a full disk
    {
        ScopedStoreOptions options(quick);
        TSettings full(kDaily);
        EXPECT_FALSE(full.WriteBool("On", true));
        EXPECT_EQ(full.WriteError(),
                  "The settings database \"" + db + "\" could not be written: disk I/O error");
    }
    EXPECT_EQ(s.ReadString("Type"), "old");
    EXPECT_EQ(s.ReadString("On"), "");
    TSettings noKey(kRoot + "\\\\x"); // a path that names no key
    EXPECT_FALSE(noKey.WriteString("v", "1"));
    EXPECT_FALSE(noKey.WriteError().empty());
}

TEST_F(SettingsTest, UnusableStoreGivesDefaultsAndFalseResults) {
    // A folder where the database file is expected.
    std::filesystem::create_directories(m_home.settingsDb());
    TSettings s(kDaily);
    EXPECT_FALSE(s.WriteString("Type", "S"));
    EXPECT_EQ(s.WriteError(), "The settings database \"" + m_home.settingsDb() +
                                  "\" could not be opened: unable to open database file");
    EXPECT_EQ(s.ReadStringDef("Type", "none"), "none");
    EXPECT_EQ(s.ReadInteger("Type"), -1);
    EXPECT_EQ(s.tryReadSubKeyString("", "Type").state, SettingState::Error);
    Names list;
    EXPECT_FALSE(s.GetSubKeyNames(list));
    EXPECT_FALSE(s.GetValueNames("", list));
    EXPECT_FALSE(s.SubKeyExists("x"));
    EXPECT_FALSE(s.DeleteSubKey(""));
    EXPECT_FALSE(s.DeleteValue("Type"));
    EXPECT_FALSE(TSettings(kRoot).CopySubKey("Daily", "Other", true));
    EXPECT_EQ(s.KeyName(), "Daily");
}

// A window that records what was done to it.
class FakeForm : public FormWindow {
public:
    std::string name() const override { return "frmSchedule"; }
    ScreenRect bounds() const override { return m_bounds; }
    void setBounds(const ScreenRect& bounds) override {
        m_bounds = bounds;
        placed = true;
    }
    void centreOnScreen() override { centred = true; }
    bool touchesAnyScreen(const ScreenRect& r) const override {
        return r.left < 1920 && r.left + r.width > 0 && r.top < 1080 && r.top + r.height > 0;
    }
    void setAutoScroll(bool on) override { autoScroll = on; }

    ScreenRect m_bounds{10, 20, 300, 200};
    bool placed = false;
    bool centred = false;
    bool autoScroll = true;
};

TEST_F(SettingsTest, WindowPlacementRoundTripsThroughNamedValues) {
    FakeForm form;
    form.m_bounds = {-5, 40, 640, 480};
    TSettings::SaveFormPlacement(kRoot, form);
    TSettings root(kRoot);
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_TOP"), 40);
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_LEFT"), -5);
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_WIDTH"), 640);
    EXPECT_EQ(root.ReadInteger("HY_frmSchedule_HEIGHT"), 480);

    FakeForm restored;
    TSettings::LoadFormPlacement(kRoot, restored);
    EXPECT_FALSE(restored.autoScroll);
    EXPECT_TRUE(restored.placed);
    EXPECT_FALSE(restored.centred);
    EXPECT_EQ(restored.m_bounds.left, -5);
    EXPECT_EQ(restored.m_bounds.top, 40);
    EXPECT_EQ(restored.m_bounds.width, 640);
    EXPECT_EQ(restored.m_bounds.height, 480);
}

TEST_F(SettingsTest, UnusablePlacementCentresTheWindow) {
    TSettings root(kRoot);
    auto centredWith = [&](const char* top, const char* left, const char* width, const char* height) {
        for (const auto& [part, text] :
             {std::pair{"_TOP", top}, {"_LEFT", left}, {"_WIDTH", width}, {"_HEIGHT", height}}) {
            if (text != nullptr)
                root.WriteString(std::string("HY_frmSchedule") + part, text);
            else
                root.DeleteValue(std::string("HY_frmSchedule") + part);
        }
        FakeForm form;
        root.ReadFormPlacement(form);
        EXPECT_FALSE(form.autoScroll);
        EXPECT_NE(form.placed, form.centred);
        return form.centred;
    };
    EXPECT_TRUE(centredWith(nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(centredWith("-10", "5", "300", "200"));
    EXPECT_TRUE(centredWith("abc", "5", "300", "200"));
    EXPECT_TRUE(centredWith("10", "5", "0", "200"));
    EXPECT_TRUE(centredWith("10", "5", "300", "-1"));
    EXPECT_TRUE(centredWith("10", "5", nullptr, "200"));
    EXPECT_TRUE(centredWith("5000", "5000", "300", "200")); // on a screen that is gone
    EXPECT_FALSE(centredWith("10", nullptr, "300", "200")); // a missing left reads as -1 and is applied
    EXPECT_FALSE(centredWith("0", "0", "1", "1"));
}

} // namespace
