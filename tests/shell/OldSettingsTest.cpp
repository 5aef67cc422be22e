#include "shell/OldSettings.h"

#include "../platform/TestHome.h"
#include "base/IOStream.h"
#include "detection/FileSettings.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace halcyra {
namespace {

using Names = std::vector<std::string>;
const std::string Root(SettingsRootKey);

class OldSettingsTest : public ::testing::Test {
protected:
    OldSettingsTest() : root(Root) {}

    void setOld(const std::string& directories, const std::string& mask = "") {
        root.WriteString("Directories", directories);
        if (!mask.empty()) // a missing old value is no reason to stop
            root.WriteString("FileMask", mask);
        root.WriteString("AutoExit", "Y");
        root.WriteString("AutoScan", "N");
    }
    // Writes the old results file with one entry of `size` bytes per key.
    static void writeOldResults(const std::map<std::string, int>& keys) {
        CompareList list;
        for (const auto& [key, size] : keys)
            list[key].Old = std::make_unique<TFileDetails>(TFileDetails{size, "", 1000000000});
        std::string error;
        TFileSettings::SaveResults("Halcyra", &list, true, error);
        ASSERT_EQ(error, "");
    }
    // The stored results of `profile` as key -> size.
    static std::map<std::string, std::int64_t> resultsOf(const std::string& profile) {
        CompareList list;
        std::string error;
        TFileSettings::LoadResults(profile, nullptr, &list, error);
        EXPECT_EQ(error, "");
        std::map<std::string, std::int64_t> sizes;
        for (const auto& [key, entry] : list)
            sizes[key] = entry.Old->Size;
        return sizes;
    }
    static Names exclusionsOf(const std::string& profile) {
        KeySet list;
        std::string error;
        TFileSettings::LoadExclusions(profile, &list, error);
        return Names(list.begin(), list.end());
    }
    std::string value(const std::string& key, const char* name) const {
        return TSettings(Root + "\\" + key).ReadStringDef(name, "<missing>");
    }
    Names profiles() const {
        Names names;
        root.GetSubKeyNames(names);
        return names;
    }

    testing::TestHome home;
    TSettings root;
};

TEST_F(OldSettingsTest, EachFolderBecomesAProfileInTheOldProfilesGroup) {
    setOld("C:\\Work\\Data*D:\\Data*E:\\data", "*.doc");
    writeOldResults({{"C:\\Work\\Database\\x", 1}}); // in none of the folders
    const OldSettingsConversion outcome = ConvertOldSettings(root);
    EXPECT_FALSE(fileExists(TFileSettings::ResultsFileName("Data"))); // its first run finds every file new
    EXPECT_TRUE(outcome.converted);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(profiles(), (Names{"Data", "Data 2", "data 3", "Old Profiles"}));
    EXPECT_EQ(value("Data 2", "Source"), "D:\\Data");
    for (const auto& [name, expected] : std::map<const char*, const char*>{{"LastResult", "<missing>"},
                                                                           {"FileMasks", "*.doc"},
                                                                           {"ExclFileMasks", "<missing>"},
                                                                           {"Recursive", "Y"},
                                                                           {"ProfileType", "1"},
                                                                           {"DisplayLog", "Y"},
                                                                           {"DisplayLogChanges", "Y"},
                                                                           {"Eject", "N"},
                                                                           {"NoHash", "<missing>"},
                                                                           {"LastRun", "<missing>"}})
        EXPECT_EQ(value("data 3", name), expected) << name;
    Names members;
    ASSERT_TRUE(root.GetValueNames("Old Profiles", members));
    EXPECT_EQ(members, (Names{"ProfileType", "LastResult", "Name0", "Name1", "Name2"}));
    EXPECT_EQ(value("Old Profiles", "ProfileType"), "2");
    EXPECT_EQ(value("Old Profiles", "Name1"), "Data 2");
    EXPECT_EQ(value("Old Profiles", "Name2"), "data 3");
    Names rootValues;
    root.GetValueNames("", rootValues);
    EXPECT_TRUE(rootValues.empty());
}

TEST_F(OldSettingsTest, FolderListReadsStarTextAndNamesNeverClashOrComeOutEmpty) {
    EXPECT_EQ(oldFolderList(" \"C:\\My Docs\"*/srv/a b**\"C:\\my docs\\\"*C:\\my docs*/srv/x//*"),
              (Names{"/srv/a", "/srv/x", "b", "C:\\my", "C:\\My Docs", "docs"}));
    EXPECT_EQ(oldFolderList("\"say \"\"hi\"\"\"*C:\\*/"), (Names{"/", "C:", "say \"hi\""}));
    EXPECT_EQ(oldFolderList("\\\\srv\\Share*\\\\SRV\\share\\"), (Names{"\\\\srv\\Share"}));
    // Linux folders that differ in letter case are two folders, however they are listed.
    EXPECT_EQ(oldFolderList("/data/photos*/data/Photos*/data/photos"),
              (Names{"/data/Photos", "/data/photos"}));
    EXPECT_EQ(convertedProfileBase("C:"), "Drive C");
    EXPECT_EQ(convertedProfileBase("d:"), "Drive D");
    EXPECT_EQ(convertedProfileBase("/"), "Root");
    EXPECT_EQ(convertedProfileBase("C:\\a?b|c\x01\x1F\x7F~ "), "a_b_c___~");

    // Existing profiles, an existing "Old Profiles", leftover data files, the old files' own names and
    // names the rule refuses all move a name on to its next variant.
    TSettings(Root + "\\Data").WriteString("ProfileType", "1");
    TSettings(Root + "\\old profiles").WriteString("ProfileType", "1");
    std::ofstream(TFileSettings::ExclusionFileName("Logs")) << "/x\n";
    // Long names are cut to leave room for a number, never inside a character.
    const std::string x189 = std::string(189, 'x'), y190 = std::string(190, 'y');
    setOld("/srv/Data*/srv/Logs*/srv/HALCYRA*/srv/-I*/srv/x_excl*/srv/Old Profiles*"
           "\"/srv/OLD PROFILES 2\"*C:\\*/" +
           x189 + "\xC3\xA9*/" + y190 + "yy");
    const OldSettingsConversion outcome = ConvertOldSettings(root);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(profiles(),
              (Names{"-I 2", "Data", "Data 2", "Drive C", "HALCYRA 2", "Logs 2", "Old", "old profiles",
                     "Old Profiles 2", "OLD PROFILES 2 2", "Profiles", "x_excl 2", x189, y190}));
    EXPECT_EQ(value("old profiles", "ProfileType"), "1");
    EXPECT_EQ(value("Old Profiles 2", "ProfileType"), "2");
    EXPECT_EQ(value("OLD PROFILES 2 2", "Source"), "/srv/OLD PROFILES 2");
    EXPECT_EQ(value("Drive C", "Source"), "C:");
    EXPECT_EQ(value("Data 2", "FileMasks"), "*.*"); // an empty old mask scans everything
}

TEST_F(OldSettingsTest, OldResultsAndExclusionsGoToEveryFolderThatHoldsThemThenTheOldFilesGo) {
    writeOldResults({{"C:\\A\\Zoo\\z.txt", 1},
                     {"C:\\B\\Ant\\sub\\a.txt", 2},
                     {"/srv/data/d.txt", 3},
                     {"/srv/data/sub/s.txt", 4},
                     {"/srv/database/x", 5},
                     {"/SRV/DATA/upper", 6},
                     {"/srv/data\\odd", 7}});
    std::ofstream(TFileSettings::GlobalExclusionFileName())
        << "/srv/data/sub/s.txt\nC:\\A\\Zoo\\z.txt\n/elsewhere/e\n/srv/data/\n";
    setOld("C:\\A\\Zoo*C:\\B\\Ant*/srv/data/*/srv/data/sub*C:\\*/");
    const OldSettingsConversion outcome = ConvertOldSettings(root);
    EXPECT_TRUE(outcome.errors.empty());
    EXPECT_EQ(resultsOf("Zoo"), (std::map<std::string, std::int64_t>{{"/z.txt", 1}}));
    EXPECT_EQ(resultsOf("Ant"), (std::map<std::string, std::int64_t>{{"/sub/a.txt", 2}}));
    EXPECT_EQ(resultsOf("data"),
              (std::map<std::string, std::int64_t>{{"/d.txt", 3}, {"/sub/s.txt", 4}})); // not /SRV/DATA
    EXPECT_EQ(resultsOf("sub"), (std::map<std::string, std::int64_t>{{"/s.txt", 4}}));
    EXPECT_EQ(exclusionsOf("data"), (Names{"/sub/s.txt"}));
    EXPECT_EQ(exclusionsOf("sub"), (Names{"/s.txt"}));
    EXPECT_EQ(exclusionsOf("Zoo"), (Names{"/z.txt"}));
    EXPECT_TRUE(exclusionsOf("Ant").empty());
    // The root folders take everything written their way.
    EXPECT_EQ(resultsOf("Drive C"),
              (std::map<std::string, std::int64_t>{{"/A/Zoo/z.txt", 1}, {"/B/Ant/sub/a.txt", 2}}));
    EXPECT_EQ(resultsOf("Root").size(), 5u);
    EXPECT_EQ(exclusionsOf("Root"), (Names{"/elsewhere/e", "/srv/data/", "/srv/data/sub/s.txt"}));
    EXPECT_EQ(value("Old Profiles", "Name0"), "Ant"); // members in name order, not folder order
    EXPECT_FALSE(fileExists(TFileSettings::ResultsFileName("Halcyra")));
    EXPECT_FALSE(fileExists(TFileSettings::GlobalExclusionFileName()));
}

TEST_F(OldSettingsTest, UnreadableOldResultsAreKeptAsBakAndReported) {
    writeOldResults({{"/srv/a/one", 1}});
    std::ofstream(TFileSettings::ResultsFileName("Halcyra"), std::ios::app)
        << "/srv/a/two*2*-*31/02/2020 99:00:00\n";
    std::filesystem::create_directory(TFileSettings::GlobalExclusionFileName()); // opens, cannot be read
    std::ofstream(TFileSettings::ResultsFileName("Halcyra") + ".bak") << "an earlier backup\n";
    setOld("/srv/a");
    const OldSettingsConversion outcome = ConvertOldSettings(root);
    ASSERT_EQ(outcome.errors.size(), 2u);
    EXPECT_NE(outcome.errors[0].find("is not a valid date and time"), std::string::npos);
    EXPECT_FALSE(fileExists(TFileSettings::ResultsFileName("a"))); // nothing taken from a file half read
    EXPECT_TRUE(fileExists(TFileSettings::ResultsFileName("Halcyra") + ".bak2"));
    EXPECT_TRUE(fileExists(TFileSettings::GlobalExclusionFileName() + ".bak"));
    EXPECT_EQ(value("a", "Source"), "/srv/a");
    EXPECT_EQ(root.ReadString("Directories"), ""); // the profiles exist: no second conversion
}

TEST_F(OldSettingsTest, StoreFailingAtAnyReadOrWriteLeavesNothingAndTheRetryStartsAfresh) {
    TSettings(Root + "\\B").WriteString("Source", "/elsewhere");
    // Each read of the store failing once (another program busy), then each write failing with every one
    // after it (a full disk), until the conversion gets past its last one.
    for (const bool reads : {true, false}) {
        for (const char* made : {"a", "b 2", "Old Profiles"}) { // as the pass before left them
            root.DeleteSubKey(made);
            std::remove(TFileSettings::ResultsFileName(made).c_str());
            std::remove(TFileSettings::ExclusionFileName(made).c_str());
        }
        writeOldResults({{"/srv/a/one", 1}, {"/srv/b/two", 2}});
        std::ofstream(TFileSettings::GlobalExclusionFileName()) << "/srv/a/one\n";
        setOld("/srv/a*/srv/b", "*.doc");
        for (int step = 1;; ++step) {
            ASSERT_LT(step, 1000);
            auto count = std::make_shared<int>(0);
            OldSettingsConversion outcome;
            {
                RegistryStore::Options options = RegistryStore::defaultOptions();
                (reads ? options.readFault : options.writeFault) = [count, step, reads] {
                    return reads ? ++*count == step : ++*count >= step;
                };
                testing::ScopedStoreOptions failing(options);
                TSettings failingRoot(Root);
                outcome = ConvertOldSettings(failingRoot);
            }
            if (*count < step)
                break; // the store never failed
            const std::string at = (reads ? "read " : "write ") + std::to_string(step);
            EXPECT_FALSE(outcome.errors.empty()) << at;
            Names values;
            root.GetValueNames("B", values);
            EXPECT_EQ(values, Names{"Source"}) << at;
            EXPECT_EQ(profiles(), Names{"B"}) << at;
            EXPECT_EQ(root.ReadString("Directories"), "/srv/a*/srv/b") << at;
            EXPECT_EQ(root.ReadString("FileMask"), "*.doc") << at;
            EXPECT_FALSE(fileExists(TFileSettings::ResultsFileName("a"))) << at;
            EXPECT_FALSE(fileExists(TFileSettings::ExclusionFileName("a"))) << at;
            EXPECT_TRUE(fileExists(TFileSettings::ResultsFileName("Halcyra"))) << at;
        }
    }
    EXPECT_EQ(profiles(), (Names{"a", "B", "b 2", "Old Profiles"})); // no "a 2" beside a half-written "a"
    EXPECT_EQ(value("b 2", "FileMasks"), "*.doc");
    EXPECT_EQ(resultsOf("a").size(), 1u);
    EXPECT_EQ(exclusionsOf("a"), Names{"/one"});
    EXPECT_EQ(root.ReadString("Directories"), "");
}

} // namespace
} // namespace halcyra
