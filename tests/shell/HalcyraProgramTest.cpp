// The built desktop program, started as cron starts it: without a display.
#include "../detection/TestSupport.h"
#include "../platform/TestHome.h"
#include "detection/FileSettings.h"
#include "detection/Log.h"
#include "settings/Settings.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <sys/resource.h>

namespace halcyra {
namespace {

struct Outcome {
    int exitCode = -1;
    bool finished = false;
    std::string errors; // standard error
};

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

class HalcyraProgramTest : public ::testing::Test {
protected:
    HalcyraProgramTest() : m_profile(std::in_place, std::string(SettingsRootKey) + "\\Daily") {
        m_profile->WriteString("ProfileType", "1");
        m_profile->WriteString("Source", m_tree.root());
        m_profile->WriteString("Recursive", "Y");
    }

    // Runs Halcyra with `arguments` and no display (or with DISPLAY set to `display`); the settings and data
    // folders are the test's. A `fileSizeLimit` above 0 caps the size of every file the program writes, as
    // a full disk would.
    static Outcome run(const QStringList& arguments, const char* display = nullptr,
                       rlim_t fileSizeLimit = 0) {
        QProcess process;
        start(process, arguments, display, fileSizeLimit);
        return finish(process);
    }

    static void start(QProcess& process, const QStringList& arguments, const char* display = nullptr,
                      rlim_t fileSizeLimit = 0) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        if (display != nullptr)
            environment.insert("DISPLAY", display);
        process.setProcessEnvironment(environment);
        if (fileSizeLimit > 0) {
            process.setChildProcessModifier([fileSizeLimit] {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit); // SIGXFSZ keeps its default action
            });
        }
        process.start(QStringLiteral(HALCYRA_BIN_DIR "/Halcyra"), arguments);
    }

    static Outcome finish(QProcess& process) {
        Outcome outcome;
        outcome.finished = process.waitForFinished(60000);
        if (!outcome.finished)
            process.kill();
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.errors = process.readAllStandardError().toStdString();
        return outcome;
    }

    testing::TestHome m_home;
    test::TestTree m_tree{{"a.txt", "abc"}, {"sub/b.txt", "b"}};
    std::optional<TSettings> m_profile;
};

TEST_F(HalcyraProgramTest, ScheduledRunWritesTheResultsAndTheLogAndEnds) {
    const Outcome outcome = run({"Daily"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_EQ(outcome.errors, "");
    EXPECT_NE(m_profile->ReadStringDef("LastRun", "Never"), "Never");
    EXPECT_EQ(m_profile->ReadString("LastResult"), "Changes");
    EXPECT_NE(contentsOf(TFileSettings::ResultsFileName("Daily")).find("a.txt"), std::string::npos);
    EXPECT_NE(contentsOf(*TLog::LogFileName("Daily", 1)).find("a.txt"), std::string::npos);
}

TEST_F(HalcyraProgramTest, InteractiveRunWithoutADisplayEndsAndStoresNothing) {
    ASSERT_EQ(run({"Daily"}).exitCode, 0);
    const std::string stored = contentsOf(TFileSettings::ResultsFileName("Daily"));
    m_tree.add({"c.txt", "new"});

    // Named in another letter case, the profile runs on its own files.
    const Outcome outcome = run({"-i", "daily"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_NE(outcome.errors.find("differences review"), std::string::npos) << outcome.errors;
    EXPECT_EQ(contentsOf(TFileSettings::ResultsFileName("Daily")), stored);
    EXPECT_EQ(m_profile->ReadString("LastResult"), "Changes");
    EXPECT_NE(contentsOf(*TLog::LogFileName("Daily", 1)).find("c.txt"), std::string::npos);

    // The same change, unattended, is stored.
    ASSERT_EQ(run({"Daily"}).exitCode, 0);
    EXPECT_NE(contentsOf(TFileSettings::ResultsFileName("Daily")).find("c.txt"), std::string::npos);
}

TEST_F(HalcyraProgramTest, NamesLikeToolkitOptionsAreProfileNames) {
    const Outcome outcome = run({"-reverse", "-style", "Daily"});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1); // unknown profiles
    EXPECT_NE(outcome.errors.find("The profile -reverse does not exist, or is corrupted."), std::string::npos)
        << outcome.errors;
    EXPECT_NE(outcome.errors.find("The profile -style does not exist, or is corrupted."), std::string::npos);
    EXPECT_EQ(m_profile->ReadString("LastResult"), "Changes"); // the names after them still run
}

TEST_F(HalcyraProgramTest, ExitStatusSaysWhetherEveryNamedProfileRanToItsEnd) {
    EXPECT_EQ(run({"Daily", "daily"}).exitCode, 0); // "Changes", then "No Changes"
    const Outcome unknown = run({"Daily", "Ghost"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.errors, "Error: The profile Ghost does not exist, or is corrupted.\n");

    // A name cannot forge a line or send a terminal command on standard error.
    const Outcome hostile = run({QString::fromUtf8("\x1B[2J\nError: all fine <")});
    EXPECT_EQ(hostile.exitCode, 1);
    EXPECT_EQ(hostile.errors,
              "Error: The profile <1B>[2J<0A>Error: all fine <3C> does not exist, or is corrupted.\n");
}

TEST_F(HalcyraProgramTest, TwoProgramsShareOneSettingsStoreWithoutLosingItsLocks) {
    // One program runs several profiles in turn (a connection opens beside the live one for each) while a
    // second runs another; neither may pull the store's journal from under the other. This process holds
    // no connection meanwhile, so each program may find itself the store's last user.
    for (const char* name : {"A", "B", "C"}) {
        TSettings profile(std::string(SettingsRootKey) + "\\" + name);
        profile.WriteString("ProfileType", "1");
        profile.WriteString("Source", m_tree.root());
        profile.WriteString("Recursive", *name == 'C' ? "N" : "Y"); // C ends while the other still runs
    }
    m_profile.reset();
    for (int i = 0; i < 1500; ++i) // runs long enough to overlap
        m_tree.add({"many/" + std::to_string(i % 30) + "/" + std::to_string(i), std::to_string(i)});
    for (int round = 0; round < 20; ++round) {
        QProcess several, single;
        start(several, {"A", "B", "Daily"});
        start(single, {"C"});
        const Outcome first = finish(several), second = finish(single);
        ASSERT_EQ(first.exitCode, 0) << "round " << round << ": " << first.errors;
        ASSERT_EQ(second.exitCode, 0) << "round " << round << ": " << second.errors;
        ASSERT_EQ(first.errors + second.errors, "") << "round " << round;
    }
    EXPECT_EQ(TSettings(std::string(SettingsRootKey) + "\\C").ReadString("LastResult"), "No Changes");
}

TEST_F(HalcyraProgramTest, FullDataFolderFailsAnUnattendedRunWithTheReasonOnStandardError) {
    // Long names make the results file far larger than the log page of one change or the settings journal.
    const std::string stem(150, 'n');
    for (int i = 0; i < 3000; ++i)
        m_tree.add({"many/" + stem + std::to_string(i), ""});
    ASSERT_EQ(run({"Daily"}).exitCode, 0);
    m_tree.add({"new.txt", "new"});
    const Outcome outcome = run({"Daily"}, nullptr, 256 * 1024);
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.errors.rfind("Error: The results could not be saved: ", 0), 0u) << outcome.errors;
    EXPECT_EQ(std::count(outcome.errors.begin(), outcome.errors.end(), '\n'), 1) << outcome.errors;
    EXPECT_EQ(m_profile->ReadString("LastResult"), "Failure");
    // Nothing of the failed run is left in the data folder: no temporary, no run lock.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(m_home.root() + "/data/Halcyra"))
        if (const std::string name = entry.path().filename().string();
            name.find(".tmp") != std::string::npos || name.find("_run.lock") != std::string::npos)
            left.push_back(name);
    EXPECT_EQ(left, std::vector<std::string>{});
}

TEST_F(HalcyraProgramTest, UnusableDisplayRunsWithoutOneAndQuietly) {
    const Outcome outcome = run({"Daily"}, ":97");
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.errors;
    EXPECT_EQ(outcome.errors, "");
    EXPECT_EQ(m_profile->ReadString("LastResult"), "Changes");
}

TEST_F(HalcyraProgramTest, WithoutParametersOrDisplayItRefusesToStart) {
    const Outcome outcome = run({});
    ASSERT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.errors.find("cannot open a display"), std::string::npos) << outcome.errors;
    EXPECT_EQ(TSettings(SettingsRootKey).ReadString("FirstRun"), ""); // no window was made
}

} // namespace
} // namespace halcyra
