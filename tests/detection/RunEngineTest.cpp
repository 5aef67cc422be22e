#include "detection/RunEngine.h"

#include "../hashing/ColdEveryThird.h"
#include "../hashing/RandomTree.h"
#include "../platform/TestHome.h"
#include "TestSupport.h"
#include "base/DisplayDateTime.h"
#include "base/IOStream.h"
#include "base/ProfileNameRule.h"
#include "detection/DifferencesReview.h"
#include "detection/FolderListing.h"
#include "detection/MaskList.h"
#include "hashing/Hashing.h"
#include "platform/UiServices.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <tuple>
#include <utility>

namespace halcyra {
namespace {

using test::TestTree;
using Request = ScriptedUiServices::Request;

const std::string kMd5Abc = "900150983CD24FB0D6963F7D28E17F72"; // MD5("abc"), RFC 1321

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string profileKey(const std::string& name) {
    return std::string(SettingsRootKey) + "\\" + name;
}

// Records what the run shows; `onEvents` decides whether a poll asks the run to stop.
struct RecordingProgress : RunProgress {
    void runStarted(std::string_view name, std::string_view lastRun) override {
        shownName = name;
        shownLastRun = lastRun;
    }
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    void setActive(bool active) override { activity.push_back(active); }
    void stepPhase() override { ++phases; }
    void setFileName(std::string_view name) override { names.emplace_back(name); }
    bool processEvents() override { return onEvents && onEvents(statuses.empty() ? "" : statuses.back()); }

    std::function<bool(const std::string& status)> onEvents;
    std::string shownName, shownLastRun;
    std::vector<std::string> statuses, names;
    std::vector<bool> activity;
    int phases = 0;
};

class RunEngineTest : public test::DataFolderTest {
protected:
    void SetUp() override {
        DataFolderTest::SetUp();
        setenv("XDG_CONFIG_HOME", (m_home.root() + "config").c_str(), 1);
        m_env.ui = &ui;
        m_env.clock = &clock;
        m_env.errors = &errors;
        m_env.eject = [this](const std::string& path) {
            ejected.push_back(path);
            return true;
        };
        showDifferencesEntry() = [this](CompareList& list, KeySet& exclusions, bool& changed) {
            ++reviews;
            reviewed.clear();
            for (const auto& [key, entry] : list)
                reviewed[key] = entry.Status;
            changed = false;
            return review ? review(list, exclusions, changed) : acceptReview;
        };
    }
    void TearDown() override {
        showDifferencesEntry() = nullptr;
        unsetenv("XDG_CONFIG_HOME");
        DataFolderTest::TearDown();
    }

    void makeProfile(const std::string& name, const std::string& source,
                     const std::vector<std::pair<const char*, const char*>>& values = {}) {
        TSettings settings(profileKey(name));
        settings.WriteString("ProfileType", "1");
        settings.WriteString("Source", source);
        settings.WriteString("Recursive", "Y");
        for (const auto& [name, value] : values)
            settings.WriteString(name, value);
    }

    RunCounts run(const std::string& name, bool unattended, RunProgress* progress = nullptr) {
        TSettings settings(profileKey(name));
        RunEngine engine(settings, unattended, progress, m_env);
        engine.Run();
        lastAborted = engine.Aborted();
        lastOutcome = engine.Outcome();
        return engine.Counts();
    }

    std::string value(const std::string& name, const char* valueName) {
        return TSettings(profileKey(name)).ReadString(valueName);
    }
    std::string results(const std::string& name) { return readFile(dataPath(name + ".txt")); }
    std::string logPage(const std::string& name, int page = 1) {
        return readFile(dataPath(name + "_Log_Page" + std::to_string(page) + ".html"));
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const Request& request : ui.requests())
            if (request.kind == ScriptedUiServices::RequestKind::MessageBox)
                texts.push_back(request.text);
        return texts;
    }
    int documentsOpened() const {
        int count = 0;
        for (const Request& request : ui.requests())
            count += request.kind == ScriptedUiServices::RequestKind::OpenDocument;
        return count;
    }

    ScriptedUiServices ui;
    test::FakeClock clock;
    RunEnvironment m_env;
    std::vector<std::string> ejected;
    int reviews = 0;
    std::map<std::string, int> reviewed; // key -> status, as the review saw them
    bool acceptReview = true;
    std::function<bool(CompareList&, KeySet&, bool&)> review;
    bool lastAborted = false;
    RunEnd lastOutcome = RunEnd::Failed;
    std::ostringstream errors; // what unattended runs write to standard error
};

TEST_F(RunEngineTest, FirstRunReportsEveryFileCreatedAndOnlySaveStoresThem) {
    TestTree tree({{"a.txt", "abc"}, {"sub/b.txt", "xy"}});
    makeProfile("Daily", tree.root());
    acceptReview = false;
    run("Daily", false);
    EXPECT_FALSE(fileExists(dataPath("Daily.txt")));
    EXPECT_EQ(value("Daily", "LastResult"), "Changes");

    acceptReview = true;
    RecordingProgress progress;
    const RunCounts counts = run("Daily", false, &progress);
    EXPECT_EQ(counts.Created, 2); // the cancelled review left the same changes to report
    EXPECT_EQ(counts.AllChanged, 2);
    EXPECT_EQ(reviews, 2);
    EXPECT_EQ(reviewed, (std::map<std::string, int>{{"/a.txt", 8}, {"/sub/b.txt", 8}}));
    EXPECT_NE(results("Daily").find("/a.txt*3*" + kMd5Abc + "*"), std::string::npos);
    EXPECT_EQ(value("Daily", "LastRun"), formatDisplayDateTime(localDateTime(clock.m_now)));
    EXPECT_NE(logPage("Daily").find("Created\r\n"), std::string::npos);
    EXPECT_EQ(documentsOpened(), 2);
    EXPECT_TRUE(messages().empty());

    EXPECT_EQ(progress.shownName, "Daily");
    EXPECT_NE(progress.shownLastRun, "Never");
    EXPECT_EQ(progress.phases, 7);
    EXPECT_EQ(progress.activity, (std::vector<bool>{true, false}));
    EXPECT_EQ(
        progress.statuses,
        (std::vector<std::string>{"Preparing to execute...", "Loading original results...",
                                  "Scanning directory...", "Calculating hash values...", "Excluded files...",
                                  "Searching for changes...", "Building log file..."}));
    EXPECT_FALSE(fileExists(dataPath("Daily_run.lock")));
}

TEST_F(RunEngineTest, UnchangedSecondRunNeedsNoReviewAndLeavesResultsUntouched) {
    TestTree tree({{"a.txt", "abc"}});
    makeProfile("Daily", tree.root());
    run("Daily", false);
    std::string stored = results("Daily");
    const auto at = stored.find(kMd5Abc); // hash texts that differ only in case are equal
    ASSERT_NE(at, std::string::npos);
    for (std::size_t i = at; i < at + 32; ++i)
        stored[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(stored[i])));
    writeFile(dataPath("Daily.txt"), stored);
    struct stat before {};
    ASSERT_EQ(stat(dataPath("Daily.txt").c_str(), &before), 0);

    EXPECT_EQ(run("Daily", false).AllChanged, 0);
    EXPECT_EQ(reviews, 1);
    struct stat after {};
    ASSERT_EQ(stat(dataPath("Daily.txt").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(results("Daily"), stored);
    EXPECT_EQ(value("Daily", "LastResult"), "No Changes");
    EXPECT_NE(logPage("Daily").find("No changes were found<BR>"), std::string::npos);
    EXPECT_EQ(documentsOpened(), 1); // only the first run's log: nothing changed this time

    TSettings(profileKey("Daily")).WriteString("DisplayLogChanges", "N");
    run("Daily", false);
    EXPECT_EQ(documentsOpened(), 2);
}

TEST_F(RunEngineTest, OnlyExcludedChangesAreStoredWithoutReview) {
    TestTree tree({{"a.txt", "abc"}, {"b.txt", "b"}});
    makeProfile("P", tree.root());
    run("P", false);
    writeFile(dataPath("P_excl.txt"), "/a.txt\n");
    writeFile(tree.path("a.txt"), "abd");

    const RunCounts counts = run("P", false);
    EXPECT_EQ(reviews, 1);
    EXPECT_EQ(counts.AllChanged, 1);
    EXPECT_EQ(counts.ExcludedChanged, 1);
    EXPECT_EQ(counts.ContentsChanged, 0);
    EXPECT_EQ(value("P", "LastResult"), "Excluded Changes Only");
    EXPECT_EQ(results("P").find(kMd5Abc), std::string::npos); // the new state was stored
    EXPECT_NE(logPage("P").find("Only excluded files were changed"), std::string::npos);
}

TEST_F(RunEngineTest, ContentsAndDateChangeCountInBothAndTheRowNamesBoth) {
    TestTree tree({{"a.txt", "abc"}, {"b.txt", "abc"}});
    makeProfile("P", tree.root());
    run("P", false);
    writeFile(tree.path("a.txt"), "xyz");
    tree.setMtime("a.txt", test::DefaultMtime + 60);
    writeFile(tree.path("b.txt"), "xyz");
    tree.setMtime("b.txt", test::DefaultMtime);

    const RunCounts counts = run("P", false);
    EXPECT_EQ(counts.ContentsChanged, 2);
    EXPECT_EQ(counts.DateTimeChanged, 1);
    EXPECT_EQ(counts.SizeChanged, 0);
    EXPECT_EQ(reviewed["/a.txt"], 4);
    EXPECT_EQ(reviewed["/b.txt"], 2);
    const std::string page = logPage("P");
    EXPECT_NE(page.find("<td width=\"70%\">/a.txt</td>\r\n<td width=\"30%\">\r\nContents,Date/time \r\n"),
              std::string::npos);
    EXPECT_NE(page.find("<td width=\"70%\">/b.txt</td>\r\n<td width=\"30%\">\r\nContents \r\n"),
              std::string::npos);
}

TEST_F(RunEngineTest, UnreadableFileIsReportedInRedAndKeepsItsKnownHash) {
    TestTree tree({{"a.txt", "abc"}});
    tree.symlink("/proc/self/mem", "mem"); // opens as a regular file, but reading fails
    makeProfile("P", tree.root());
    const RunCounts first = run("P", false);
    EXPECT_EQ(first.Created, 2); // a new unreadable file counts only as created
    EXPECT_EQ(first.CannotHash, 0);
    std::string stored = results("P");
    const std::string placeholder(CannotOpenFilePlaceholder);
    ASSERT_NE(stored.find("/mem*0*" + placeholder), std::string::npos);
    const std::string knownHash = "0123456789ABCDEF0123456789ABCDEF";
    stored.replace(stored.find(placeholder), placeholder.size(), knownHash);
    writeFile(dataPath("P.txt"), stored);

    const RunCounts counts = run("P", true);
    EXPECT_EQ(counts.CannotHash, 1);
    EXPECT_EQ(counts.ContentsChanged, 0);
    EXPECT_EQ(value("P", "LastResult"), "Errors");
    EXPECT_EQ(lastOutcome, RunEnd::Finished); // unreadable files are a result, not a failure of the run
    EXPECT_NE(logPage("P").find("<font color=\"#FF0000\"><b>\r\nCannot read \r\n"), std::string::npos);
    EXPECT_NE(results("P").find("/mem*0*" + knownHash), std::string::npos);
}

TEST_F(RunEngineTest, NoHashSkipsHashingAndNeverComparesContents) {
    TestTree tree({{"a.txt", "abc"}});
    makeProfile("P", tree.root(), {{"NoHash", "Y"}});
    RecordingProgress progress;
    run("P", false, &progress);
    EXPECT_EQ(progress.phases, 7);
    EXPECT_EQ(std::count(progress.statuses.begin(), progress.statuses.end(), "Calculating hash values..."),
              0);
    EXPECT_NE(results("P").find("/a.txt*3*-*"), std::string::npos);
    writeFile(tree.path("a.txt"), "xyz");
    tree.setMtime("a.txt", test::DefaultMtime);
    EXPECT_EQ(run("P", false).AllChanged, 0);

    // Hashing switched back on fills in the missing hashes without reporting a change, so that the next
    // change of contents alone is found.
    TSettings(profileKey("P")).WriteString("NoHash", "N");
    EXPECT_EQ(run("P", true).AllChanged, 0);
    EXPECT_EQ(value("P", "LastResult"), "No Changes");
    EXPECT_NE(results("P").find("/a.txt*3*D16FB36F0911F878998C136191AF705E*"),
              std::string::npos); // MD5("xyz")
    writeFile(tree.path("a.txt"), "abc");
    tree.setMtime("a.txt", test::DefaultMtime);
    EXPECT_EQ(run("P", true).ContentsChanged, 1);
}

TEST_F(RunEngineTest, ReviewedExclusionsAreSavedAndShapeTheLogPages) {
    TestTree tree;
    for (int i = 0; i < 2001; ++i)
        tree.add({"f" + std::to_string(i), ""});
    makeProfile("P", tree.root());
    review = [](CompareList& list, KeySet& exclusions, bool& changed) {
        exclusions.insert("/f0");
        list.find("/f0")->second.Excluded = true;
        changed = true;
        return true;
    };
    const RunCounts counts = run("P", false);
    EXPECT_EQ(counts.Created, 2001); // counts are those made before the review
    EXPECT_EQ(readFile(dataPath("P_excl.txt")), "/f0\n");
    const std::string page = logPage("P");
    EXPECT_NE(page.find("Page 1 of 1</span>"), std::string::npos);
    EXPECT_EQ(page.find("/f0</td>"), std::string::npos);
    EXPECT_FALSE(fileExists(dataPath("P_Log_Page2.html")));
}

TEST_F(RunEngineTest, ConfirmedAbortDuringHashingEndsTheRunAborted) {
    TestTree tree({{"a.txt", "a"}, {"b.txt", "b"}});
    makeProfile("P", tree.root());
    TSettings settings(profileKey("P"));
    RecordingProgress progress;
    RunEngine engine(settings, false, &progress, m_env);
    ui.queueButton(ButtonNo);
    ui.queueButton(ButtonYes);
    progress.onEvents = [&](const std::string& status) {
        if (status == "Calculating hash values...")
            engine.RequestAbort();
        return false;
    };
    engine.Run();
    engine.RequestAbort();

    EXPECT_TRUE(engine.Aborted());
    EXPECT_EQ(engine.Outcome(), RunEnd::Aborted);
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"Are you sure you want to abort?", "Are you sure you want to abort?",
                                        "Already attempting to abort. Please be patient."}));
    EXPECT_EQ(progress.statuses.back(), "Aborting...");
    EXPECT_EQ(progress.activity, (std::vector<bool>{true, false}));
    EXPECT_EQ(value("P", "LastResult"), "Aborted");
    EXPECT_FALSE(fileExists(dataPath("P.txt")));
    EXPECT_FALSE(fileExists(dataPath("P_Log_Page1.html")));
    EXPECT_EQ(reviews, 0);
}

TEST_F(RunEngineTest, AbortInsideALargeFileIsAnsweredThereWhenTheProgressPolls) {
    TestTree tree({{"a.txt", "abc"}});
    const int fd = open(tree.path("large").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 64 << 20), 0);
    close(fd);
    makeProfile("P", tree.root(), {{"DisplayLog", "N"}});
    struct PollingProgress : RecordingProgress {
        bool inside = false;
        bool pollsInsideFiles() const override { return inside; }
    };
    for (const bool inside : {false, true}) {
        PollingProgress progress;
        progress.inside = inside;
        int largePolls = 0; // polls while the large file is at hand: before it, then inside it
        progress.onEvents = [&](const std::string& status) {
            return status == "Calculating hash values..." && progress.names.back() == "/large" &&
                   ++largePolls == 2;
        };
        TSettings settings(profileKey("P"));
        m_env.hashPlan = [](const std::string&) { return 1u; }; // the polls inside a file are the run's
        RunEngine engine(settings, true, &progress, m_env);
        engine.Run();
        if (!inside) {
            EXPECT_EQ(largePolls, 1); // one poll per file and none inside
            EXPECT_EQ(engine.Outcome(), RunEnd::Finished);
            continue;
        }
        EXPECT_EQ(largePolls, 2);
        EXPECT_EQ(engine.Outcome(), RunEnd::Aborted);
        EXPECT_EQ(engine.FileList()->at("/large").New->Hash, ""); // stopped: no value, not "unreadable"
        EXPECT_EQ(value("P", "LastResult"), "Aborted");
    }
}

TEST_F(RunEngineTest, AbortWhileLogRowsAreWrittenEndsInFailureWithTheNote) {
    TestTree tree({{"a.txt", "a"}, {"b.txt", "b"}});
    makeProfile("P", tree.root(), {{"Eject", "Y"}});
    RecordingProgress progress;
    int polls = 0;
    progress.onEvents = [&](const std::string& status) {
        return status == "Building log file..." && ++polls == 2;
    };
    run("P", true, &progress);
    EXPECT_TRUE(lastAborted);
    EXPECT_EQ(value("P", "LastResult"), "Failure");
    const std::string page = logPage("P");
    EXPECT_NE(page.find("/a.txt</td>"), std::string::npos);
    EXPECT_EQ(page.find("/b.txt</td>"), std::string::npos);
    EXPECT_NE(page.find("User Aborted!"), std::string::npos);
    EXPECT_FALSE(fileExists(dataPath("P.txt")));
    EXPECT_EQ(ejected, std::vector<std::string>{tree.root()});
}

TEST_F(RunEngineTest, AbortDuringTheScanEndsTheRunAborted) {
    TestTree tree({{"a/x", "1"}, {"b/y", "2"}});
    makeProfile("P", tree.root());
    RecordingProgress progress;
    progress.onEvents = [](const std::string& status) { return status == "Scanning directory..."; };
    run("P", true, &progress);
    EXPECT_TRUE(lastAborted);
    EXPECT_EQ(value("P", "LastResult"), "Aborted");
    EXPECT_EQ(progress.names, std::vector<std::string>({"", tree.root()})); // stopped after the first folder
    EXPECT_TRUE(messages().empty());
}

TEST_F(RunEngineTest, GroupRunsMembersInNameOrderAndStopsAfterAnAbortedMember) {
    for (const char* name : {"Alpha", "bravo", "charlie", "delta", "echo"})
        makeProfile(name, "/tmp");
    TSettings group(profileKey("G"));
    group.WriteString("ProfileType", "2");
    group.WriteString("Name0", "charlie");
    group.WriteString("Name1", "echo");
    group.WriteString("name2", "delta"); // not a member: the prefix is case-sensitive
    group.WriteString("Name3", "Alpha");
    group.WriteString("Name7", "bravo");
    group.WriteString("LastResult", "Changes");
    clock.m_now = 1700000100;

    std::vector<std::string> ran;
    runProfileEntry(
        group, true,
        [&](TSettings& member, bool unattended) {
            EXPECT_TRUE(unattended);
            ran.push_back(member.KeyName());
            return member.KeyName() == "charlie" ? RunEnd::Aborted : RunEnd::Finished;
        },
        &ui, &clock);
    EXPECT_EQ(ran, (std::vector<std::string>{"Alpha", "bravo", "charlie"}));
    EXPECT_EQ(group.ReadStringDef("LastResult", "unset"), "unset"); // an empty text reads as missing
    EXPECT_EQ(group.ReadString("LastRun"), formatDisplayDateTime(localDateTime(1700000100)));
}

TEST_F(RunEngineTest, MissingProfilesAndMembersAreReportedInEveryMode) {
    makeProfile("real", "/tmp");
    TSettings group(profileKey("G"));
    group.WriteString("ProfileType", "2");
    group.WriteString("Name0", "ghost");
    group.WriteString("Name1", "real");
    group.WriteString("Name2", "bad:name");
    std::vector<std::string> ran;
    const OrdinaryRunner runner = [&](TSettings& member, bool) {
        ran.push_back(member.KeyName());
        return RunEnd::Finished;
    };
    TSettings inner(profileKey("Inner"));
    inner.WriteString("ProfileType", "2");
    inner.WriteString("Name0", "real");
    group.WriteString("Name3", "inner");
    EXPECT_FALSE(runProfileEntry(group, true, runner, &ui, &clock));
    EXPECT_EQ(ran, std::vector<std::string>{"real"}); // the inner group is not run as a profile
    EXPECT_EQ(inner.ReadString("LastRun"), "");
    EXPECT_FALSE(TSettings(std::string(SettingsRootKey)).SubKeyExists("ghost"));

    TSettings missing(profileKey("nothing"));
    EXPECT_FALSE(runProfileEntry(missing, true, runner, &ui, &clock));
    TSettings odd(profileKey("odd"));
    odd.WriteString("ProfileType", "3");
    EXPECT_FALSE(runProfileEntry(odd, false, runner, &ui, &clock));
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "The profile bad:name does not exist, or is corrupted.",
                              "The profile ghost does not exist, or is corrupted.",
                              "The profile Inner is a group and cannot be run as a member of the group G.",
                              "The profile nothing does not exist, or is corrupted.",
                              "The profile odd does not exist, or is corrupted."}));
    EXPECT_EQ(ran.size(), 1u);
    TSettings fine(profileKey("fine"));
    fine.WriteString("ProfileType", "1");
    EXPECT_TRUE(runProfileEntry(fine, true, runner, &ui, &clock));
    EXPECT_FALSE(TSettings(std::string(SettingsRootKey)).SubKeyExists("nothing"));
}

TEST_F(RunEngineTest, ScanErrorsAreShownEvenUnattendedAndEndAborted) {
    const std::pair<std::string, std::vector<std::pair<const char*, const char*>>> cases[] = {
        {"/nonexistent-halcyra-folder", {}},
        {"", {}},
        {"/tmp", {{"FileMasks", "*.txt,[ab"}}},
    };
    for (const auto& [source, values] : cases) {
        makeProfile("P", source, values);
        run("P", true);
        EXPECT_EQ(value("P", "LastResult"), "Aborted");
    }
    EXPECT_EQ(clock.sleeps, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(5000)});
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].rfind("Error scanning \"/nonexistent-halcyra-folder/\" : ", 0), 0u);
    EXPECT_EQ(texts[1], "Internal errror: There is no directory/file to scan");
    EXPECT_EQ(texts[2], invalidMaskText("[ab")); // the scanner's own text
    EXPECT_FALSE(fileExists(dataPath("P_Log_Page1.html")));
}

// The exclusion list cannot be read or written, and the results cannot be replaced once the log is
// written (the eject step, which comes between the two, puts a folder in their place).
class RunFileErrorsTest : public RunEngineTest {
protected:
    void SetUp() override {
        RunEngineTest::SetUp();
        makeProfile("P", tree.root(), {{"DisplayLog", "N"}, {"Eject", "Y"}});
        std::filesystem::create_directories(dataPath("P_excl.txt"));
        m_env.eject = [this](const std::string&) {
            std::filesystem::create_directories(dataPath("P.txt/inside"));
            return true;
        };
        review = [](CompareList&, KeySet&, bool& changed) {
            changed = true;
            return true;
        };
    }
    TestTree tree{{"a.txt", "abc"}};
};

TEST_F(RunFileErrorsTest, UnattendedRunNeverPromptsAndWritesEachErrorAsOneLine) {
    run("P", true);
    EXPECT_TRUE(ui.requests().empty());
    EXPECT_EQ(reviews, 0);
    EXPECT_EQ(value("P", "LastResult"), "Failure");
    EXPECT_EQ(lastOutcome, RunEnd::Failed);
    const std::string lines = errors.str();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2) << lines;
    EXPECT_EQ(lines.rfind("Error: Cannot open the exclusion file. Exception raised: ", 0), 0u) << lines;
    EXPECT_NE(lines.find("\nError: The results could not be saved: "), std::string::npos) << lines;
}

TEST_F(RunFileErrorsTest, InteractiveRunShowsEachError) {
    run("P", false);
    const auto texts = messages();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].rfind("Cannot open the exclusion file. Exception raised: ", 0), 0u);
    EXPECT_EQ(texts[1].rfind("Cannot create the exclusion file. Exception raised: ", 0), 0u);
    EXPECT_EQ(texts[2].rfind("The results could not be saved: ", 0), 0u);
    EXPECT_EQ(value("P", "LastResult"), "Failure");
    EXPECT_EQ(errors.str(), "");
}

TEST_F(RunEngineTest, LogThatCannotBeWrittenEndsAbortedAndStoresNothing) {
    TestTree tree({{"a.txt", "abc"}});
    makeProfile("P", tree.root(), {{"Eject", "Y"}});
    std::filesystem::create_directories(dataPath("P_Log_Page1.html/inside"));
    run("P", true);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0].rfind("The log page \"", 0), 0u);
    EXPECT_EQ(value("P", "LastResult"), "Aborted");
    EXPECT_FALSE(fileExists(dataPath("P.txt")));
    EXPECT_TRUE(ejected.empty());
}

TEST_F(RunEngineTest, EjectFollowsTheLogAndPrecedesTheStore) {
    TestTree tree({{"a.txt", "abc"}});
    makeProfile("P", tree.root(), {{"Eject", "Y"}});
    m_env.eject = [&](const std::string& path) {
        ejected.push_back(path);
        EXPECT_TRUE(fileExists(dataPath("P_Log_Page1.html")));
        EXPECT_FALSE(fileExists(dataPath("P.txt")));
        return false;
    };
    run("P", true);
    EXPECT_EQ(ejected, std::vector<std::string>{tree.root()});
    EXPECT_NE(results("P").find("/a.txt*3*" + kMd5Abc), std::string::npos);
}

TEST_F(RunEngineTest, EmptiedFolderNeverWipesStoredResultsWithoutReview) {
    TestTree tree({{"a.txt", "abc"}, {"b.txt", "b"}});
    makeProfile("P", tree.root());
    run("P", true);
    const std::string stored = results("P");
    std::filesystem::remove(tree.path("a.txt"));
    std::filesystem::remove(tree.path("b.txt"));

    EXPECT_EQ(run("P", true).Deleted, 2);
    EXPECT_EQ(results("P"), stored);
    EXPECT_EQ(value("P", "LastResult"), "Changes");
    EXPECT_NE(logPage("P").find("Deleted\r\n"), std::string::npos);

    run("P", false); // a person accepts it
    EXPECT_EQ(results("P"), "!/:\n");
}

TEST_F(RunEngineTest, SecondRunOfTheSameProfileIsRefusedWhileOneIsInProgress) {
    TestTree tree({{"a.txt", "abc"}});
    makeProfile("P", tree.root());
    RecordingProgress outer, inner;
    bool triedInner = false;
    outer.onEvents = [&](const std::string& status) {
        if (status == "Calculating hash values..." && !triedInner) {
            triedInner = true;
            TSettings(profileKey("P")).WriteString("LastResult", "marker");
            run("P", true, &inner);
            EXPECT_EQ(value("P", "LastResult"), "marker");
        }
        return false;
    };
    run("P", true, &outer);
    EXPECT_TRUE(triedInner);
    EXPECT_TRUE(inner.activity.empty());
    EXPECT_EQ(messages(), std::vector<std::string>{"The profile P is already being run."});
    EXPECT_EQ(value("P", "LastResult"), "Changes");
    run("P", true); // the lock is gone with the run
    EXPECT_EQ(value("P", "LastResult"), "No Changes");
}

} // namespace
} // namespace halcyra

namespace halcyra {
namespace {

// The settings store fails while a run writes its bookkeeping.
class RunBookkeepingTest : public RunEngineTest {
protected:
    void SetUp() override {
        RunEngineTest::SetUp();
        makeProfile("P", tree.root(), {{"DisplayLog", "N"}});
        run("P", true);
        writeFile(tree.path("a.txt"), "abd");
        m_quick.busyTimeoutMs = 20;
    }
    std::string db() const { return m_home.root() + "config/Halcyra/registry.db"; }

    TestTree tree{{"a.txt", "abc"}};
    RegistryStore::Options m_quick;
};

TEST_F(RunBookkeepingTest, RunThatCannotRecordItsStartStoresNothingAndSaysWhy) {
    const std::string stored = results("P");
    const std::string reason =
        "The settings database \"" + db() + "\" could not be written: database is locked";
    {
        testing::ScopedStoreOptions options(m_quick);
        testing::HeldLock lock(db(), testing::HeldLock::Writer); // another process in a long write
        run("P", true);
        EXPECT_EQ(errors.str(), "Error: The run of the profile P could not be recorded: " + reason + "\n");
        EXPECT_EQ(lastOutcome, RunEnd::Failed);
        run("P", false);
        EXPECT_EQ(messages(),
                  std::vector<std::string>{"The run of the profile P could not be recorded: " + reason});
    }
    EXPECT_EQ(results("P"), stored);
    EXPECT_EQ(value("P", "LastResult"), "Changes"); // the previous run's
    EXPECT_EQ(run("P", true).ContentsChanged, 1);   // so the change is still reported
}

TEST_F(RunBookkeepingTest, FinalResultThatCannotBeWrittenFailsTheRun) {
    m_quick.writeFault = testing::failFromWrite(3); // LastRun and "Aborted" are written, the result is not
    {
        testing::ScopedStoreOptions options(m_quick);
        run("P", true);
    }
    EXPECT_EQ(lastOutcome, RunEnd::Failed);
    EXPECT_EQ(errors.str(),
              "Error: The run of the profile P could not be recorded: The settings database \"" + db() +
                  "\" could not be written: disk I/O error\n");
    EXPECT_EQ(value("P", "LastResult"), "Aborted");
    EXPECT_NE(logPage("P").find("Contents"), std::string::npos); // the log keeps the record of the change
}

TEST_F(RunBookkeepingTest, ProfileDeletedDuringItsRunIsNotMadeAgainAndKeepsNoFiles) {
    const std::string stored = results("P"), page = logPage("P");
    RecordingProgress progress;
    progress.onEvents = [](const std::string& status) {
        if (status == "Calculating hash values...")
            TSettings(SettingsRootKey).DeleteSubKey("P"); // another process deletes the profile
        return false;
    };
    run("P", true, &progress);
    EXPECT_EQ(lastOutcome, RunEnd::Failed);
    EXPECT_EQ(errors.str(), "Error: The profile P was deleted while it was being run: nothing was stored.\n");
    EXPECT_FALSE(TSettings(SettingsRootKey).SubKeyExists("P"));
    EXPECT_EQ(results("P"), stored);
    EXPECT_EQ(logPage("P"), page);
}

TEST_F(RunBookkeepingTest, UnreadableStoreIsReportedWithItsReasonNotAsAMissingProfile) {
    testing::ScopedStoreOptions options(m_quick);
    std::vector<std::string> ran;
    const OrdinaryRunner runner = [&](TSettings& member, bool) {
        ran.push_back(member.KeyName());
        return RunEnd::Finished;
    };
    {
        testing::HeldLock lock(db(), testing::HeldLock::Exclusive);
        TSettings settings(profileKey("P"));
        EXPECT_FALSE(runProfileEntry(settings, true, runner, &ui, &clock));
    }
    EXPECT_TRUE(ran.empty());

    // The store is busy while the run reads the profile's folder: the run does not scan "no folder".
    const std::string lastRun = value("P", "LastRun");
    auto busy = std::make_shared<bool>(true);
    m_quick.readFault = [busy] { return *busy; };
    testing::ScopedStoreOptions faulty(m_quick);
    TSettings settings(profileKey("P"));
    RunEngine engine(settings, true, nullptr, m_env);
    *busy = false;
    engine.Run();
    EXPECT_EQ(engine.Outcome(), RunEnd::Failed);
    EXPECT_EQ(messages(),
              (std::vector<std::string>{"The profile P could not be read: The settings database \"" + db() +
                                            "\" could not be opened: database is locked",
                                        "The profile P could not be read: The settings database \"" + db() +
                                            "\" could not be read: database is locked"}));
    EXPECT_EQ(value("P", "LastRun"), lastRun);
}

TEST_F(RunEngineTest, StoredNameThatBreaksTheNameRuleIsRefusedAndTouchesNoFile) {
    TestTree tree({{"a.txt", "abc"}});
    makeProfile("A", tree.root());
    writeFile(dataPath("A_excl.txt"), "/a.txt\n");
    for (const char* name : {"A_excl", "A_EXCL_DIR"}) {
        makeProfile(name, tree.root());
        run(name, true);
        EXPECT_EQ(lastOutcome, RunEnd::Failed);
        EXPECT_EQ(value(name, "LastRun"), "");
    }
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "The profile A_excl cannot be run: " + profileNameProblem("A_excl"),
                              "The profile A_EXCL_DIR cannot be run: " + profileNameProblem("A_EXCL_DIR")}));
    EXPECT_EQ(readFile(dataPath("A_excl.txt")), "/a.txt\n");
    EXPECT_FALSE(fileExists(dataPath("A_EXCL_DIR.txt")));
    EXPECT_FALSE(fileExists(dataPath("A_excl_Log_Page1.html")));
}

// Records the calls of the scanning and hashing phases in order, and asks to stop at the `abortAt`-th poll
// of hashing, or with a negative value at the `-abortAt`-th poll of the scan (0: never); `onScanPoll` is
// called at each poll of the scan.
struct HashingCalls : RunProgress {
    void setStatus(std::string_view text) override {
        scanning = text == "Scanning directory...";
        hashing = text == "Calculating hash values...";
    }
    void setFileName(std::string_view name) override { record("name " + std::string(name)); }
    void setFilePosition(int position) override { record("position " + std::to_string(position)); }
    bool processEvents() override {
        record("poll");
        if (scanning && onScanPoll)
            onScanPoll();
        return (hashing && ++polls == abortAt) || (scanning && --scanPolls == abortAt);
    }
    void record(std::string call) {
        if (scanning || hashing)
            calls.push_back(std::move(call));
    }
    bool scanning = false;
    bool hashing = false;
    int polls = 0;
    int scanPolls = 0;
    int abortAt = 0;
    std::function<void()> onScanPoll;
    std::vector<std::string> calls;
};

// Counts the reads of file contents and lets the run's thread wait for the first; on a rotational disk every
// third read without waiting finds its file not in the page cache.
class WatchedReads : public halcyra::testing::ColdEveryThird {
public:
    ssize_t read(int fd, std::uint8_t* buffer, std::size_t size, bool noWait) override {
        const ssize_t got = ColdEveryThird::read(fd, buffer, size, noWait);
        if (got >= 0) {
            {
                const std::lock_guard lock(m_mutex);
                ++m_reads;
            }
            m_read.notify_all();
        }
        return got;
    }
    int reads() {
        const std::lock_guard lock(m_mutex);
        return m_reads;
    }
    bool someRead() {
        std::unique_lock lock(m_mutex);
        return m_read.wait_for(lock, std::chrono::seconds(10), [this] { return m_reads > 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_read;
    int m_reads = 0;
};

// The real file system, except that its listings call a folder "ghost" a regular file and end with a regular
// file "phantom" that is not there: whoever looks at them finds a folder, or nothing.
class GhostFileSystem final : public FileSystem {
public:
    std::unique_ptr<FolderListing> openFolder(const std::string& path, bool followLink, int& error) override {
        std::unique_ptr<FolderListing> listing = FileSystem::real().openFolder(path, followLink, error);
        return listing ? std::make_unique<Listing>(std::move(listing)) : nullptr;
    }

private:
    class Listing final : public FolderListing {
    public:
        explicit Listing(std::unique_ptr<FolderListing> real) : m_real(std::move(real)) {}
        bool next(FolderEntry& entry) override {
            if (m_real->next(entry)) {
                if (entry.name == "ghost")
                    entry = {entry.name, FolderEntryKind::File, true};
                return true;
            }
            if (m_phantom || m_real->error() != 0)
                return false;
            m_phantom = true;
            entry = {"phantom", FolderEntryKind::File, true};
            return true;
        }
        bool fileFacts(FileFacts& facts) override { return !m_phantom && m_real->fileFacts(facts); }
        int error() const override { return m_real->error(); }
        void endPass() override { m_real->endPass(); }
        std::unique_ptr<FolderListing> openSubFolder(std::string_view name, int& error) override {
            std::unique_ptr<FolderListing> listing = m_real->openSubFolder(name, error);
            return listing ? std::make_unique<Listing>(std::move(listing)) : nullptr;
        }

    private:
        std::unique_ptr<FolderListing> m_real;
        bool m_phantom = false;
    };
};

TEST_F(RunEngineTest, HashingOnSeveralThreadsStoresLogsAndAbortsAsOneThreadDoes) {
    TestTree tree;
    const std::vector<std::string> names = halcyra::testing::buildRandomTree(tree.root(), 5, 300);
    ASSERT_EQ(mkdir(tree.path("a/ghost").c_str(), 0755), 0);
    writeFile(tree.path("a/ghost/inside"), "x");
    GhostFileSystem ghosts; // files that are gone, or folders, when they are looked at
    m_env.fileSystem = &ghosts;
    makeProfile("P", tree.root(), {{"DisplayLog", "N"}});
    m_env.hashPlan = [](const std::string&) { return 1u; };
    run("P", true);
    const std::string baseline = results("P");
    // New contents, a vanished file, a file that became a FIFO.
    for (std::size_t i = 0; i < names.size(); i += 7) {
        struct stat st {};
        if (lstat(tree.path(names[i]).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            writeFile(tree.path(names[i]), "changed " + std::to_string(i));
    }
    std::filesystem::remove(tree.path(names[3]));
    std::filesystem::remove(tree.path(names[5]));
    ASSERT_EQ(mkfifo(tree.path(names[5]).c_str(), 0644), 0);

    // Per plan: calls, stored bytes, hashes. One thread hashes after the scan; several hash while it goes on.
    std::map<std::string, std::vector<std::string>> seen;
    for (const auto& [label, threads, rotational] :
         {std::tuple("1", 1u, false), std::tuple("2", 2u, false), std::tuple("8", 8u, false),
          std::tuple("8 rotational", 8u, true)}) {
        for (const int abortAt : {0, 120, -3}) {
            WatchedReads reads;
            m_env.hashPlan = [&](const std::string&) { return HashPlan(threads, rotational, &reads); };
            writeFile(dataPath("P.txt"), baseline);
            HashingCalls progress;
            progress.abortAt = abortAt;
            bool waited = false;
            progress.onScanPoll = [&, threads = threads] {
                if (threads == 1) {
                    EXPECT_EQ(reads.reads(), 0);
                } else if (!std::exchange(waited, true)) {
                    EXPECT_TRUE(reads.someRead()) << "no file read while the scan went on";
                }
            };
            TSettings settings(profileKey("P"));
            RunEngine engine(settings, true, &progress, m_env);
            engine.Run();
            EXPECT_EQ(engine.Outcome(), abortAt == 0 ? RunEnd::Finished : RunEnd::Aborted);
            EXPECT_EQ(progress.scanPolls < -3, abortAt >= 0); // the tree has more than three folders
            std::vector<std::string>& out = seen[label];
            out.insert(out.end(), progress.calls.begin(), progress.calls.end());
            out.insert(out.end(), {results("P"), abortAt == 0 ? logPage("P") : ""});
            for (const auto& [key, entry] : *engine.FileList())
                out.push_back(key + " " +
                              (entry.New ? entry.New->Hash + std::to_string(entry.New->Size) : "-"));
        }
    }
    EXPECT_GT(std::count(seen["1"].begin(), seen["1"].end(), "poll"), 300);
    EXPECT_TRUE(std::any_of(seen["1"].begin(), seen["1"].end(), [](const std::string& text) {
        return text.find("Cannot read") != std::string::npos;
    }));
    for (const char* plan : {"2", "8", "8 rotational"})
        EXPECT_EQ(seen[plan], seen["1"]) << plan;
    EXPECT_EQ(baseline.find("phantom"), std::string::npos);
    EXPECT_EQ(baseline.find("ghost"), std::string::npos);
}

} // namespace
} // namespace halcyra
