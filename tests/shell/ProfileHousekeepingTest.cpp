#include "HousekeepingTestSupport.h"

#include "base/IOStream.h"
#include "base/Paths.h"
#include "detection/FileSettings.h"
#include "detection/HousekeepingJournal.h"
#include "detection/Log.h"
#include "detection/ProfileRunLock.h"
#include "platform/RegistryStore.h"
#include "scheduling/ScheduleLookups.h"
#include "shell/ProfileHousekeeping.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace halcyra;

namespace {

using Texts = std::vector<std::string>;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool there(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string page(const std::string& profile, int number) {
    return TLog::LogFileName(profile, number).value_or("");
}

class ProfileHousekeepingTest : public test::HousekeepingTest {
protected:
    ProfileHousekeeping housekeeping() {
        return ProfileHousekeeping(root, ui, [this](std::string_view profile, std::string_view extra) {
            calls.push_back("schedule " + std::string(profile) + "|" + std::string(extra));
        });
    }
    std::string value(const std::string& profile, const std::string& name) {
        return TSettings(key(profile)).ReadStringDef(name, "<none>");
    }
    void addGroup(const std::string& name, const std::vector<std::pair<std::string, std::string>>& members) {
        addProfile(name, 2);
        TSettings group(key(name));
        for (const auto& [valueName, member] : members)
            group.WriteString(valueName, member);
    }
    std::string archive(const std::string& name) const { return home.root() + "/" + name + ".hcs"; }
    void exportProfile(const std::string& name, const std::string& file) {
        std::string error;
        ASSERT_TRUE(TFileSettings::ExportProfile(name, file, error)) << error;
    }
};

TEST_F(ProfileHousekeepingTest, RenameMovesKeyGroupMembersFilesAndLogsAndOpensTheSchedule) {
    addProfile("Docs", 1);
    TSettings(key("Docs")).WriteString("Folder", "/srv/docs");
    addGroup("G1", {{"Name0", "docs"}, {"Name1", "Other"}, {"name2", "Docs"}});
    addGroup("G2", {{"Name0", "DOCS"}});
    addProfile("T", 3); // no group: its values are no members
    TSettings(key("T")).WriteString("Name0", "Docs");
    test::writeText(TFileSettings::ResultsFileName("Docs"), "results");
    test::writeText(TFileSettings::ExclusionFileName("Docs"), "excl");
    // Left by a profile "Papers" deleted earlier with its files kept.
    test::writeText(TFileSettings::ResultsFileName("Papers"), "stale");
    test::writeText(TFileSettings::ExclusionDirFileName("Papers"), "stale");
    for (int n = 1; n <= 4; ++n)
        test::writeText(page("Papers", n), "stale");
    for (int n = 1; n <= 3; ++n)
        test::writeText(page("Docs", n), "page " + std::to_string(n));
    schedule("Docs task", "Docs");

    ui.queueText("  Papers ");
    EXPECT_TRUE(housekeeping().aRenameExecute({"Docs"}));
    EXPECT_FALSE(exists("Docs"));
    EXPECT_EQ(value("Papers", "Folder"), "/srv/docs");
    EXPECT_EQ(value("G1", "Name0"), "Papers");
    EXPECT_EQ(value("G1", "Name1"), "Other");
    EXPECT_EQ(value("G1", "name2"), "Docs");
    EXPECT_EQ(value("G2", "Name0"), "Papers");
    EXPECT_EQ(value("T", "Name0"), "Docs");
    EXPECT_EQ(readText(TFileSettings::ResultsFileName("Papers")), "results");
    EXPECT_EQ(readText(TFileSettings::ExclusionFileName("Papers")), "excl");
    EXPECT_FALSE(there(TFileSettings::ExclusionDirFileName("Papers")));
    EXPECT_FALSE(there(TFileSettings::ResultsFileName("Docs")));
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(readText(page("Papers", n)), "page " + std::to_string(n));
        EXPECT_FALSE(there(page("Docs", n)));
    }
    EXPECT_FALSE(there(page("Papers", 4)));
    EXPECT_EQ(messages(),
              (Texts{"This profile has a schedule. The schedule is currently configured to run using the "
                     "old profile name (Docs). Please now edit the schedule to use the new profile name "
                     "(Papers) or delete the schedule."}));
    EXPECT_EQ(calls, Texts{"schedule Docs|"});

    // A task shared with other profiles gets its own note.
    addProfile("Mail", 1);
    schedule("Both", "Papers Mail");
    ui.queueText("Post");
    calls.clear();
    EXPECT_TRUE(housekeeping().aRenameExecute({"Mail"}));
    EXPECT_EQ(messages().back(),
              "The profiles scheduled task is shared with other profiles. Please now edit the "
              "schedule to use the new profile name (Post) or delete the schedule.");
    EXPECT_EQ(calls, Texts{"schedule Mail|"});
}

TEST_F(ProfileHousekeepingTest, RenameThatCannotMoveTheKeyChangesNothing) {
    addProfile("Docs", 1);
    addGroup("G", {{"Name0", "Docs"}});
    test::writeText(TFileSettings::ResultsFileName("Docs"), "results");

    ui.queueText("DOCS"); // letter case alone names the same profile
    ui.queueButton(ButtonCancel);
    EXPECT_FALSE(housekeeping().aRenameExecute({"Docs"}));
    EXPECT_EQ(messages(), Texts{"A profile with that name already exists. Please use another name."});

    // The source's lock, and the new name's: a run of a profile of that name may still write its files.
    for (const std::string held : {"Docs", "New"}) {
        ProfileRunLock run;
        std::string error;
        ASSERT_EQ(run.acquire(held, error), ProfileRunLock::Outcome::Acquired);
        const std::string busy = "The profile " + held + " is already being run.";
        ui.queueText("New");
        EXPECT_FALSE(housekeeping().aRenameExecute({"Docs"}));
        EXPECT_EQ(messages().back(), busy);
        ui.queueText("New");
        EXPECT_FALSE(housekeeping().aCopyExecute({"Docs"}));
        EXPECT_EQ(messages().back(), busy);
        if (held == "Docs") {
            ui.queueButton(ButtonYes);
            EXPECT_TRUE(commands().DeleteProfiles({"Docs"}));
            EXPECT_EQ(messages().back(), busy);
        }
    }
    {
        RegistryStore::Options faulty = RegistryStore::defaultOptions();
        faulty.writeFault = halcyra::testing::failFromWrite(3);
        halcyra::testing::ScopedStoreOptions options(faulty);
        ui.queueText("New");
        EXPECT_TRUE(housekeeping().aRenameExecute({"Docs"}));
        EXPECT_EQ(messages().back(), "Sorry, the profile could not be renamed!");
        ui.queueText("Copy");
        EXPECT_TRUE(housekeeping().aCopyExecute({"Docs"}));
        EXPECT_EQ(messages().back(), "Sorry, the profile could not be copied!");
    }
    EXPECT_TRUE(exists("Docs"));
    EXPECT_FALSE(exists("New"));
    EXPECT_FALSE(exists("Copy"));
    // A profile of the new name that another program makes meanwhile is never overwritten.
    HousekeepingJournal::stepHook() = [this] {
        for (const char* late : {"Late", "Later"})
            if (!exists(late))
                addProfile(late, 2);
    };
    ui.queueText("Late");
    EXPECT_TRUE(housekeeping().aRenameExecute({"Docs"}));
    EXPECT_EQ(messages().back(), "Sorry, the profile could not be renamed!");
    root.DeleteSubKey("Later");
    ui.queueText("Later");
    EXPECT_TRUE(housekeeping().aCopyExecute({"Docs"}));
    EXPECT_EQ(messages().back(), "Sorry, the profile could not be copied!");
    HousekeepingJournal::stepHook() = nullptr;
    EXPECT_EQ(value("Later", "ProfileType"), "2");
    EXPECT_EQ(value("G", "Name0"), "Docs");
    EXPECT_TRUE(there(TFileSettings::ResultsFileName("Docs")));
    EXPECT_FALSE(there(TFileSettings::ResultsFileName("New")));

    // The source's files that cannot be renamed are reported one by one and stay.
    test::writeText(TFileSettings::ExclusionFileName("Docs"), "e");
    std::filesystem::create_directories(TFileSettings::ExclusionFileName("Moved") + "/busy");
    ui.queueText("Moved");
    EXPECT_TRUE(housekeeping().aRenameExecute({"Docs"}));
    EXPECT_EQ(messages().back(), "Sorry, the old file exceptions file list could not be renamed!");
    EXPECT_EQ(readText(TFileSettings::ResultsFileName("Moved")), "results");
    EXPECT_EQ(readText(TFileSettings::ExclusionFileName("Docs")), "e");
}

TEST_F(ProfileHousekeepingTest, CopyEqualsItsSourceOverStaleFiles) {
    addProfile("Docs", 1);
    TSettings docs(key("Docs"));
    docs.WriteString("LastRun", "2024-05-01 08:30");
    docs.WriteString("LastResult", "Changes");
    docs.WriteString("Folder", "/srv/docs");
    addGroup("G", {{"Name0", "Docs"}});
    schedule("Docs task", "Docs");
    test::writeText(TFileSettings::ResultsFileName("Docs"), "results");
    test::writeText(TFileSettings::ExclusionDirFileName("Docs"), "dirs");
    test::writeText(page("Docs", 1), "log");
    test::writeText(TFileSettings::ResultsFileName("Twin"), "stale results");
    test::writeText(TFileSettings::ExclusionFileName("Twin"), "stale");
    test::writeText(page("Twin", 1), "stale");

    ui.queueText("Twin");
    EXPECT_TRUE(housekeeping().aCopyExecute({"Docs"}));
    EXPECT_TRUE(messages().empty()) << messages().front();
    EXPECT_EQ(value("Twin", "Folder"), "/srv/docs");
    EXPECT_EQ(value("Twin", "LastRun"), "<none>");
    EXPECT_EQ(value("Twin", "LastResult"), "<none>");
    EXPECT_EQ(value("Docs", "LastResult"), "Changes");
    EXPECT_EQ(readText(TFileSettings::ResultsFileName("Twin")), "results");
    EXPECT_EQ(readText(TFileSettings::ExclusionDirFileName("Twin")), "dirs");
    EXPECT_FALSE(there(TFileSettings::ExclusionFileName("Twin")));
    EXPECT_FALSE(there(page("Twin", 1)));
    EXPECT_TRUE(there(page("Docs", 1)));
    bool shared = false;
    EXPECT_FALSE(IsProfileScheduled("Twin", shared));
    EXPECT_EQ(value("G", "Name0"), "Docs");
    EXPECT_EQ(TSettings(key("G")).ReadStringDef("Name1", "<none>"), "<none>");
}

TEST_F(ProfileHousekeepingTest, CopyThatCannotReadOrWriteAFileWholeKeepsWhatIsThere) {
    addProfile("Docs", 1);
    test::writeText(TFileSettings::ExclusionFileName("Docs"), std::string(100000, 'e'));
    test::writeText(TFileSettings::ResultsFileName("Twin"), "stale");
    test::writeText(TFileSettings::ExclusionFileName("Twin"), "stale");
    // Opens, but no byte of it can be read.
    std::filesystem::create_symlink("/proc/self/mem", TFileSettings::ResultsFileName("Docs"));
    ASSERT_EQ(::mkfifo(TFileSettings::ExclusionDirFileName("Docs").c_str(), 0600), 0); // no file to copy
    const auto leftovers = [] {
        Texts names;
        for (const auto& entry : std::filesystem::directory_iterator(dataFolder()))
            if (entry.path().filename().string().find(".copy") != std::string::npos)
                names.push_back(entry.path().filename().string());
        return names;
    };

    ui.queueText("Twin");
    EXPECT_TRUE(housekeeping().aCopyExecute({"Docs"}));
    EXPECT_EQ(messages(), (Texts{"Sorry, the old results file list could not be copied!",
                                 "Sorry, the old directory exceptions file list could not be copied!"}));
    EXPECT_FALSE(there(TFileSettings::ExclusionDirFileName("Twin")));
    EXPECT_EQ(readText(TFileSettings::ResultsFileName("Twin")), "stale");
    EXPECT_EQ(readText(TFileSettings::ExclusionFileName("Twin")), std::string(100000, 'e'));
    EXPECT_EQ(leftovers(), Texts{});

    // A full disk: no file may grow beyond 50000 bytes in this child.
    root.DeleteSubKey("Twin");
    test::writeText(TFileSettings::ExclusionFileName("Twin"), "stale");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit { 50000, 50000 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        TSettings ownRoot(SettingsRootKey);
        ScriptedUiServices answers;
        answers.queueText("Twin");
        ProfileHousekeeping(ownRoot, answers, {}).aCopyExecute({"Docs"});
        bool reported = false;
        for (const auto& request : answers.requests())
            reported =
                reported || request.text == "Sorry, the old file exceptions file list could not be copied!";
        ::_exit(reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readText(TFileSettings::ExclusionFileName("Twin")), "stale");
    EXPECT_EQ(leftovers(), Texts{});
}

TEST_F(ProfileHousekeepingTest, ExportAsksPerProfileAndShowsFailures) {
    addProfile("A", 1);
    addProfile("B", 1);
    ui.queueText(std::nullopt);
    ui.queueText(dataFolder() + "B.hcs");
    housekeeping().aExportProfileExecute({"A", "B"});
    ASSERT_EQ(ui.requests().size(), 3u);
    EXPECT_EQ(ui.requests()[0].title, "Export profile: A");
    EXPECT_EQ(ui.requests()[0].initial, "A.hcs");
    EXPECT_EQ(ui.requests()[0].text, "Halcyra settings (*.hcs);;All files (*)");
    EXPECT_EQ(ui.requests()[1].title, "Export profile: B");
    EXPECT_EQ(messages(),
              Texts{"Unable to export the profile \"B\". Error is: A profile file cannot be saved in the "
                    "folder of the program's own files."});
}

TEST_F(ProfileHousekeepingTest, ImportStopsAtCancelAndMarksWhatItImported) {
    for (const char* name : {"One", "Docs", "Three"}) {
        addProfile(name, 1);
        TSettings(key(name)).WriteString("Folder", std::string("/srv/") + name);
        exportProfile(name, archive(name));
    }
    root.DeleteSubKey("One");
    root.DeleteSubKey("Three");
    TSettings(key("Docs")).WriteString("Folder", "/mine");
    test::writeText(page("One", 1), "old log");
    test::writeText(home.root() + "/bad.hcs", "not an archive");

    ui.queueText(home.root() + "/bad.hcs\n" + archive("One") + "\n" + archive("Docs") + "\n" +
                 archive("Three"));
    ui.queueButton(ButtonOk);
    ui.queueButton(ButtonCancel);
    EXPECT_TRUE(housekeeping().aImportProfileExecute());
    EXPECT_EQ(ui.requests().front().title, "Import profiles");
    EXPECT_EQ(messages(),
              (Texts{"Error in profile file: Not a zip archive",
                     "You already have a profile called \"Docs\". Are you sure you want to replace your "
                     "existing profile?"}));
    EXPECT_EQ(value("One", "Folder"), "/srv/One");
    EXPECT_EQ(value("One", "LastResult"), "Imported");
    EXPECT_FALSE(there(page("One", 1)));
    EXPECT_EQ(value("Docs", "Folder"), "/mine");
    EXPECT_FALSE(exists("Three"));

    // Yes replaces the profile; No skips the file.
    TSettings(key("Docs")).WriteString("LastRun", "2024-05-01 08:30");
    ui.queueText(archive("Docs") + "\n" + archive("One"));
    ui.queueButton(ButtonYes);
    ui.queueButton(ButtonNo);
    EXPECT_TRUE(housekeeping().aImportProfileExecute());
    EXPECT_EQ(value("Docs", "Folder"), "/srv/Docs");
    EXPECT_EQ(value("Docs", "LastRun"), "<none>");
    EXPECT_EQ(value("Docs", "LastResult"), "Imported");

    ui.queueText(std::nullopt);
    EXPECT_FALSE(housekeeping().aImportProfileExecute());
}

TEST_F(ProfileHousekeepingTest, ImportAsksBeforeReplacingInAnyLetterCaseAndStopsWhenTheListCannotBeRead) {
    addProfile("Docs", 1);
    TSettings(key("Docs")).WriteString("Folder", "/srv/Docs");
    exportProfile("Docs", archive("Docs"));
    root.DeleteSubKey("Docs");
    addProfile("docs", 1);
    TSettings(key("docs")).WriteString("Folder", "/mine");
    test::writeText(TFileSettings::ResultsFileName("docs"), "mine");

    ui.queueText(archive("Docs"));
    ui.queueButton(ButtonNo);
    EXPECT_TRUE(housekeeping().aImportProfileExecute());
    EXPECT_EQ(messages(),
              Texts{"You already have a profile called \"Docs\". Are you sure you want to replace "
                    "your existing profile?"});
    Texts names;
    root.GetSubKeyNames(names);
    EXPECT_EQ(names, Texts{"docs"});
    EXPECT_EQ(value("docs", "Folder"), "/mine");
    EXPECT_EQ(readText(TFileSettings::ResultsFileName("docs")), "mine");

    // Without the list nothing may be replaced unasked: the command ends with the store's reason.
    RegistryStore::Options faulty = RegistryStore::defaultOptions();
    faulty.readFault = [] { return true; };
    std::string reason;
    {
        halcyra::testing::ScopedStoreOptions options(faulty);
        std::unique_ptr<RegistryStore> store = RegistryStore::open();
        ASSERT_TRUE(store);
        EXPECT_EQ(store->subKeyNames(root.Key()).status, RegStatus::Error);
        reason = store->lastError();
    }
    {
        halcyra::testing::ScopedStoreOptions options(faulty);
        TSettings unreadable(SettingsRootKey);
        ui.queueText(archive("Docs") + "\n" + archive("Docs"));
        ProfileHousekeeping(unreadable, ui, {}).aImportProfileExecute();
    }
    EXPECT_EQ(messages().back(), "Unable to import profile \"Docs\": " + reason);
    EXPECT_EQ(messages().size(), 2u);
    EXPECT_EQ(value("docs", "Folder"), "/mine");
}

TEST_F(ProfileHousekeepingTest, StartRemovesOnlyTheLeftoversNoLiveCommandHolds) {
    const std::string data = dataFolder();
    std::filesystem::create_directories(data + ".import-abc123/inner");
    test::writeText(data + ".import-abc123/inner/Docs.txt", "big");
    test::writeText(data + "Docs.txt.copyAbC123", "part");
    std::string heldFolder = data + ".export-XXXXXX";
    std::string heldCopy = data + "Docs.txt.copyXXXXXX";
    const int folderLock = createLockedFolder(heldFolder);
    const int copyLock = createLockedFile(heldCopy);
    ASSERT_GE(folderLock, 0);
    ASSERT_GE(copyLock, 0);
    // Never through a link, nor anything not named as a leftover.
    std::filesystem::create_directories(home.root() + "/elsewhere");
    test::writeText(home.root() + "/elsewhere/keep", "keep");
    std::filesystem::create_directory_symlink(home.root() + "/elsewhere", data + ".import-lnk123");
    test::writeText(data + "Docs.txt.copy", "keep");
    test::writeText(data + ".import-toolong1", "keep");

    recoverInterruptedHousekeeping(ui);
    EXPECT_EQ(messages(), Texts{});
    EXPECT_FALSE(there(data + ".import-abc123"));
    EXPECT_FALSE(there(data + "Docs.txt.copyAbC123"));
    EXPECT_TRUE(there(heldFolder));
    EXPECT_TRUE(there(heldCopy));
    EXPECT_TRUE(std::filesystem::is_symlink(data + ".import-lnk123"));
    EXPECT_EQ(readText(home.root() + "/elsewhere/keep"), "keep");
    EXPECT_TRUE(there(data + "Docs.txt.copy"));
    EXPECT_TRUE(there(data + ".import-toolong1"));
    ::close(folderLock);
    ::close(copyLock);
    // Once their holders are gone, the next use of the profile takes them.
    ProfileRunLock next;
    std::string error;
    ASSERT_EQ(next.acquire("Docs", error), ProfileRunLock::Outcome::Acquired);
    EXPECT_FALSE(there(heldFolder));
    EXPECT_FALSE(there(heldCopy));
}

// Import, rename and copy, each stopped at every file and store step (a forked child that ends there), and
// each run with the store failing from each of its writes and reads on: after the next start's recovery
// the profiles are wholly as before or wholly as after, nothing private is left and the locks are free.
TEST_F(ProfileHousekeepingTest, CommandsSurviveAKillOrAStoreFailureAtEveryStep) {
    using Command = std::function<void(ProfileHousekeeping&, ScriptedUiServices&)>;
    struct Case {
        std::string name;
        std::function<void()> setUp;
        Command run;
        std::vector<std::string> profiles;
    };
    const auto withFiles = [this](const std::string& name, const std::string& tag) {
        test::writeText(TFileSettings::ResultsFileName(name), "results " + tag);
        test::writeText(TFileSettings::ExclusionFileName(name), "excl " + tag);
        test::writeText(page(name, 1), "log " + tag);
        test::writeText(page(name, 2), "log " + tag);
    };
    // The archive's profile has run where it was made: its last run must not come along.
    addProfile("Docs", 1);
    TSettings(key("Docs")).WriteString("Folder", "/new");
    TSettings(key("Docs")).WriteString("LastRun", "2024-05-01 08:30");
    test::writeText(TFileSettings::ResultsFileName("Docs"), "results new");
    exportProfile("Docs", archive("Docs"));
    const std::vector<Case> cases = {
        {"import",
         [&] {
             addProfile("docs", 1);
             TSettings(key("docs")).WriteString("Folder", "/old");
             TSettings(key("docs")).WriteString("Stale", "1");
             withFiles("docs", "old");
             test::writeText(TFileSettings::ExclusionDirFileName("docs"), "dirs old");
         },
         [&](ProfileHousekeeping& command, ScriptedUiServices& answers) {
             answers.queueText(archive("Docs"));
             answers.queueButton(ButtonYes);
             command.aImportProfileExecute();
         },
         {"Docs", "docs"}},
        {"rename",
         [&] {
             addProfile("P", 1);
             addGroup("G", {{"Name0", "P"}});
             withFiles("P", "p");
         },
         [&](ProfileHousekeeping& command, ScriptedUiServices& answers) {
             answers.queueText("Q");
             command.aRenameExecute({"P"});
         },
         {"P", "Q"}},
        {"copy",
         [&] {
             addProfile("P", 1);
             TSettings(key("P")).WriteString("LastResult", "Changes");
             withFiles("P", "p");
         },
         [&](ProfileHousekeeping& command, ScriptedUiServices& answers) {
             answers.queueText("C");
             command.aCopyExecute({"P"});
         },
         {"P", "C"}},
    };
    // The store below the root key and every entry of the data folder but the lock files.
    const auto state = [&] {
        std::string out;
        std::unique_ptr<RegistryStore> store = RegistryStore::open();
        // The profiles and the marks of committed commands.
        for (const RegKeySnapshot& snapshot : store->readTree("\\Software\\OrrendaleSoftware").keys) {
            if (snapshot.path == "\\HalcyraCommittedCommands" && snapshot.values.empty())
                continue;
            out += "[" + snapshot.path + "]";
            for (const RegValue& item : snapshot.values)
                out += " " + item.name + "=" + item.data;
            out += "\n";
        }
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dataFolder()))
            if (entry.path().filename().string().find("_run.lock") == std::string::npos)
                files.push_back(entry.path().filename().string() + ":" +
                                (entry.is_regular_file() ? readText(entry.path().string()) : "<folder>"));
        std::sort(files.begin(), files.end());
        for (const std::string& file : files)
            out += file + "\n";
        return out;
    };
    const auto reset = [&](const Case& c) {
        std::vector<std::string> names;
        root.GetSubKeyNames(names);
        for (const std::string& name : names)
            root.DeleteSubKey(name);
        for (const auto& entry : std::filesystem::directory_iterator(dataFolder()))
            std::filesystem::remove_all(entry.path());
        c.setUp();
    };
    const auto runIn = [&](const Case& c) {
        TSettings ownRoot(SettingsRootKey);
        ScriptedUiServices answers;
        ProfileHousekeeping command(ownRoot, answers, {});
        c.run(command, answers);
        return answers;
    };
    // The next start's recovery, or (every other time) the next run of the command's first profile.
    // Two times in three a recovery whose store cannot be read (or written) comes first: it reports each
    // journal it cannot resolve and undoes nothing that was committed.
    const auto recover = [&](const Case& c, int attempt) {
        std::vector<std::string> failures;
        if (attempt % 3 != 2) {
            std::size_t journals = 0;
            for (const auto& entry : std::filesystem::directory_iterator(dataFolder()))
                journals += entry.path().filename().string().rfind(".journal-", 0) == 0;
            RegistryStore::Options faulty = RegistryStore::defaultOptions();
            (attempt % 3 == 0 ? faulty.readFault : faulty.writeFault) = [] { return true; };
            halcyra::testing::ScopedStoreOptions options(faulty);
            HousekeepingJournal::recoverAll(failures);
            EXPECT_TRUE(attempt % 3 != 0 || failures.size() == journals) << c.name << " " << attempt;
            failures.clear();
        }
        if (attempt % 2 == 0) {
            HousekeepingJournal::recoverAll(failures);
        } else {
            std::string name = c.profiles.front(); // in other letter case
            for (char& letter : name)
                letter = std::islower(letter) ? std::toupper(letter) : std::tolower(letter);
            ProfileRunLock next;
            std::string error;
            if (next.acquire(name, error) != ProfileRunLock::Outcome::Acquired)
                failures.push_back(error);
        }
        EXPECT_EQ(failures, std::vector<std::string>{}) << c.name << " " << attempt;
        for (const std::string& profile : c.profiles) {
            ProfileRunLock free;
            std::string error;
            EXPECT_EQ(free.acquire(profile, error, false), ProfileRunLock::Outcome::Acquired) << error;
        }
    };
    for (const Case& c : cases) {
        reset(c);
        const std::string before = state();
        runIn(c);
        const std::string after = state();
        EXPECT_NE(after, before) << c.name;
        EXPECT_EQ(after.find("LastRun"), std::string::npos) << after;

        int stopAt = 1;
        for (;; ++stopAt) {
            reset(c);
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                auto steps = std::make_shared<int>(0);
                HousekeepingJournal::stepHook() = [steps, stopAt] {
                    if (++*steps == stopAt)
                        ::_exit(9);
                };
                runIn(c);
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            recover(c, stopAt);
            const std::string recovered = state();
            EXPECT_TRUE(recovered == before || recovered == after)
                << c.name << " stopped at step " << stopAt << ":\n"
                << recovered;
            if (WEXITSTATUS(status) == 0)
                break;
        }
        EXPECT_GT(stopAt, 8) << c.name;

        // Writes failing from one on or once, reads failing from one on or once.
        for (const int mode : {0, 1, 2, 3}) {
            const bool reads = mode >= 2;
            for (int failAt = 1;; ++failAt) {
                reset(c);
                ScriptedUiServices answers;
                auto count = std::make_shared<int>(0);
                {
                    RegistryStore::Options faulty = RegistryStore::defaultOptions();
                    (reads ? faulty.readFault : faulty.writeFault) = [count, failAt, mode] {
                        return mode % 2 == 1 ? ++*count == failAt : ++*count >= failAt;
                    };
                    halcyra::testing::ScopedStoreOptions options(faulty);
                    answers = runIn(c);
                }
                const bool reported = std::any_of(
                    answers.requests().begin(), answers.requests().end(), [](const auto& request) {
                        return request.kind == ScriptedUiServices::RequestKind::MessageBox &&
                               request.text.rfind("You already have", 0) != 0;
                    });
                recover(c, 0);
                const std::string recovered = state();
                if (*count < failAt)
                    break; // the store never failed
                EXPECT_TRUE(recovered == before || recovered == after)
                    << c.name << " mode " << mode << " " << failAt << ":\n"
                    << recovered;
                // A single failed read may be one the command could do without.
                EXPECT_TRUE(reported || (mode == 3 && recovered == after))
                    << c.name << " mode " << mode << " " << failAt;
            }
        }
    }
}

} // namespace
