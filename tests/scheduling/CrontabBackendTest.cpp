#include "platform/CrontabBackend.h"
#include "platform/PowerSupply.h"

#include "SchedulingTestSupport.h"
#include "scheduling/CronTable.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace halcyra {
namespace {

using test::readText;
using test::TempFolder;
using test::writeText;

// Puts the fake crontab program first in PATH for the test's lifetime.
class FakeCrontabProgram : public ::testing::Test {
protected:
    FakeCrontabProgram() {
        test::installFakeCrontab(bin);
        const char* path = std::getenv("PATH");
        m_oldPath = path != nullptr ? path : "";
        setenv("PATH", (bin.root() + ":" + m_oldPath).c_str(), 1);
    }
    ~FakeCrontabProgram() override { setenv("PATH", m_oldPath.c_str(), 1); }

    TempFolder bin;

private:
    std::string m_oldPath;
};

TEST_F(FakeCrontabProgram, ReadsAndWritesTheCrontabThroughTheProgram) {
    CommandCrontabBackend backend;
    EXPECT_TRUE(backend.available());
    EXPECT_EQ(backend.resolvedProgram(), bin.path("crontab"));
    std::string text = "stale";
    std::string error;
    ASSERT_TRUE(backend.read(text, error)) << error; // "no crontab for" is an empty crontab
    EXPECT_EQ(text, "");

    std::string big = "# it's a \"test\" $(x) ; 50%\n";
    for (int i = 0; i < 5000; ++i) // larger than a pipe buffer
        big += "0 9 * * * /bin/true " + std::to_string(i) + "\n";
    ASSERT_TRUE(backend.write(big, error)) << error;
    EXPECT_EQ(readText(bin.path("crontab.txt")), big);
    ASSERT_TRUE(backend.read(text, error)) << error;
    EXPECT_EQ(text, big);
    EXPECT_EQ(readText(bin.path("calls.txt")), "-l\n-\n-l\n");
}

TEST_F(FakeCrontabProgram, FailuresAreReportedWithTheProgramsMessage) {
    CommandCrontabBackend backend;
    writeText(bin.path("refuse"), "");
    std::string error;
    EXPECT_FALSE(backend.write("0 9 * * * x\n", error));
    EXPECT_EQ(error, "crontab -: crontab: installing new crontab refused");

    // A folder where the table should be makes reading fail: that is not "no crontab".
    std::filesystem::create_directory(bin.path("crontab.txt"));
    std::string text = "kept";
    EXPECT_FALSE(backend.read(text, error));
    EXPECT_EQ(text, "kept");
    EXPECT_NE(error.find("crontab -l"), std::string::npos);

    CommandCrontabBackend missing("no-such-crontab-program");
    EXPECT_FALSE(missing.available());
    EXPECT_FALSE(missing.read(text, error));
    CommandCrontabBackend byPath(bin.path("crontab"));
    EXPECT_TRUE(byPath.available());
}

TEST_F(FakeCrontabProgram, TwoProgramsCreatingTasksAtOnceKeepBoth) {
    TempFolder store;
    constexpr int PerProcess = 8;
    std::vector<pid_t> children;
    for (int process = 0; process < 2; ++process) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SchedulerSetup setup;
            setup.tasksFolder = store.path("Tasks/");
            setup.runnerPath = "/opt/halcyra/bin/HalcyraRunner";
            setup.programPath = "/opt/halcyra/bin/Halcyra";
            setup.crontab = std::make_shared<CommandCrontabBackend>();
            setSchedulerSetup(setup);
            int failures = 0;
            for (int i = 0; i < PerProcess; ++i) {
                bool needAccount = false;
                const std::string name = "P" + std::to_string(process) + "-" + std::to_string(i);
                failures += CreateTask(name, setup.programPath, "\"" + name + "\"", "/", needAccount) ? 0 : 1;
            }
            _exit(failures);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(
        cronBlockLines(readText(bin.path("crontab.txt")), cronBlockMarkers(store.path("Tasks/"))).size(),
        2u * PerProcess);
    std::size_t jobs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(store.path("Tasks")))
        jobs += entry.path().extension() == ".job" ? 1 : 0;
    EXPECT_EQ(jobs, 2u * PerProcess);
}

TEST(CronDaemon, FoundAmongTheListedProcesses) {
    TempFolder proc;
    writeText(proc.path("1/comm"), "systemd\n");
    writeText(proc.path("self/comm"), "cron\n");
    writeText(proc.path("77/comm"), "crontab\n");
    EXPECT_FALSE(cronDaemonListed(proc.root()));
    writeText(proc.path("412/comm"), "cron\n");
    EXPECT_TRUE(cronDaemonListed(proc.root()));
    EXPECT_FALSE(cronDaemonListed(proc.path("missing")));
}

TEST(PowerSupply, BatteryPowerIsToldFromTheSupplies) {
    TempFolder sys;
    auto supply = [&](const std::string& name, const std::string& type, const std::string& key,
                      const std::string& value) {
        writeText(sys.path(name + "/type"), type + "\n");
        writeText(sys.path(name + "/" + key), value + "\n");
    };
    EXPECT_FALSE(onBatteryPower(sys.root())); // a desktop without supplies
    supply("BAT0", "Battery", "status", "Discharging");
    EXPECT_TRUE(onBatteryPower(sys.root())); // no mains listed: the battery's status decides
    supply("AC", "Mains", "online", "0");
    EXPECT_TRUE(onBatteryPower(sys.root()));
    supply("AC", "Mains", "online", "1");
    EXPECT_FALSE(onBatteryPower(sys.root()));
    supply("AC", "Mains", "online", "0");
    supply("ucsi-source-psy-USBC000:001", "USB", "online", "1");
    EXPECT_FALSE(onBatteryPower(sys.root()));

    TempFolder mouseOnly;
    writeText(mouseOnly.path("hidpp_battery_0/type"), "Battery\n");
    writeText(mouseOnly.path("hidpp_battery_0/scope"), "Device\n");
    writeText(mouseOnly.path("hidpp_battery_0/status"), "Discharging\n");
    EXPECT_FALSE(onBatteryPower(mouseOnly.root()));
}

} // namespace
} // namespace halcyra
