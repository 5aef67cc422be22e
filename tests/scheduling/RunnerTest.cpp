#include "SchedulingTestSupport.h"
#include "base/LineEscape.h"
#include "scheduling/CronTable.h"
#include "scheduling/TaskJob.h"
#include "scheduling/TaskSchedule.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace halcyra {
namespace {

using test::readText;
using test::TempFolder;
using test::writeText;

const std::string RunnerBinary = std::string(HALCYRA_BIN_DIR) + "/HalcyraRunner";
const std::string AppBinary = std::string(HALCYRA_BIN_DIR) + "/scheduling_test_app";

// What cron does to a crontab command before handing it to /bin/sh: "\%" becomes "%", and an unescaped "%"
// ends the command (the rest would be standard input).
std::string cronCommand(std::string_view line) {
    std::size_t fields = 0;
    std::size_t at = 0;
    while (fields < 5) {
        at = line.find(' ', at) + 1;
        ++fields;
    }
    std::string command;
    bool escaped = false;
    for (const char c : line.substr(at)) {
        if (escaped) {
            if (c == '%')
                command.back() = '%';
            else
                command += c;
            escaped = false;
            continue;
        }
        if (c == '%')
            break;
        escaped = c == '\\';
        command += c;
    }
    return command;
}

// Runs a program with exactly the given environment and returns its exit status (-1 when it did not exit).
// Its standard error goes to `errorFile` when one is named.
int runWithEnvironment(const std::vector<std::string>& args, const std::vector<std::string>& env,
                       const std::string& errorFile = {}) {
    std::vector<std::string> argText(args), envText(env);
    std::vector<char*> argv, envp;
    for (std::string& text : argText)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    for (std::string& text : envText)
        envp.push_back(text.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!errorFile.empty())
        posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> recordedLines(const std::string& path, const std::string& prefix) {
    std::vector<std::string> values;
    std::istringstream in(readText(path));
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0)
            values.push_back(unescapeLine(line.substr(prefix.size())));
    return values;
}

// A process that is gone or a zombie no longer runs.
bool processRuns(pid_t pid) {
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

class RunnerTest : public ::testing::Test {
protected:
    RunnerTest() {
        test::installFakeCrontab(bin);
        std::filesystem::create_directories(folder.path("work"));
        std::filesystem::create_directories(folder.path("Tasks"));
        job.name = "Halcyra Daily";
        job.application = AppBinary;
        job.workingDirectory = folder.path("work");
        job.maxRunTimeMs = 60000;
        TaskTrigger trigger;
        trigger.startDay = dayOf(localDateTime(std::time(nullptr))) - 10;
        trigger.startMinute = 0;
        job.triggers = {trigger};
        job.environment = {{"HOME", folder.path("home")},
                           {"XDG_DATA_HOME", folder.path("home/data dir")},
                           {"LANG", "C.UTF-8"},
                           {"TZ", "UTC"}};
    }

    void writeJob() {
        std::string error;
        ASSERT_TRUE(writeTaskRecord(jobPath, formatTaskJob(job), error)) << error;
    }
    RunState state() const {
        std::string text;
        EXPECT_EQ(readTaskRecord(runStatePath(jobPath), text), 0);
        return parseRunState(text).value_or(RunState{});
    }
    int runRunner(const std::vector<std::string>& extra) {
        std::vector<std::string> args{RunnerBinary};
        args.insert(args.end(), extra.begin(), extra.end());
        // The runner finds the fake crontab program, never the user's.
        return runWithEnvironment(args, {"TZ=UTC", "PATH=" + bin.root() + ":/usr/bin:/bin"},
                                  folder.path("stderr.txt"));
    }
    std::string record() const { return folder.path("work/record.txt"); }
    std::string errorOutput() const { return readText(folder.path("stderr.txt")); }

    TempFolder bin;
    TempFolder folder;
    TaskJob job;
    std::string jobPath = folder.path("Tasks/0123456789abcdef.job");
};

TEST_F(RunnerTest, StartedAsCronWouldItPassesExactlyTheTasksWords) {
    job.parameters = "-i \"Daily\" \"a;b\" \"$(touch pwned)\" \"50%\" \"it's \"\"quoted\"\"\" plain\tword";
    writeJob();
    // The runner lives in a folder whose name holds a blank and a percent sign.
    std::filesystem::create_directories(folder.path("run dir %x"));
    const std::string runner = folder.path("run dir %x/HalcyraRunner");
    ASSERT_EQ(symlink(RunnerBinary.c_str(), runner.c_str()), 0);
    const auto line = cronTaskLine(0, runner, jobPath, 0);
    ASSERT_TRUE(line);

    const std::int64_t before = std::time(nullptr);
    ASSERT_EQ(runWithEnvironment({"/bin/sh", "-c", cronCommand(*line)}, {}), 0);

    EXPECT_EQ(recordedLines(record(), "arg="),
              (std::vector<std::string>{"-i", "Daily", "a;b", "$(touch pwned)", "50%", "it's \"quoted\"",
                                        "plain", "word"}));
    EXPECT_FALSE(std::filesystem::exists(folder.path("work/pwned")));
    EXPECT_EQ(recordedLines(record(), "cwd="), std::vector<std::string>{folder.path("work")});
    const std::vector<std::string> env = recordedLines(record(), "env:");
    EXPECT_EQ(env[0], "HOME=" + folder.path("home"));
    EXPECT_EQ(env[1], "XDG_DATA_HOME=" + folder.path("home/data dir"));
    EXPECT_EQ(env[2], "XDG_CONFIG_HOME=<unset>");
    EXPECT_EQ(env[3], "LANG=C.UTF-8");
    EXPECT_EQ(env[4], "TZ=UTC");
    EXPECT_NE(env[5], "PATH=<unset>");

    const RunState run = state();
    EXPECT_EQ(run.outcome, RunState::Outcome::Exited);
    EXPECT_EQ(run.exitCode, 7);
    ASSERT_TRUE(run.lastStart);
    EXPECT_GE(*run.lastStart, before);
    EXPECT_GE(run.lastEnd.value_or(0), *run.lastStart);
    EXPECT_EQ(run.runnerPid, 0);
    EXPECT_FALSE(runLockHeld(runLockPath(jobPath)));

    // The scheduler reports the recorded run.
    test::FakeClock clock;
    clock.value = std::time(nullptr);
    SchedulerSetup setup;
    setup.tasksFolder = folder.path("Tasks/");
    setup.crontab = std::make_shared<FakeCrontabBackend>();
    setup.clock = &clock;
    TaskScheduler scheduler(setup);
    std::int32_t code = 0;
    std::string error;
    const auto task = scheduler.open("halcyra daily", code, error);
    ASSERT_TRUE(task);
    const TSchedTask described = scheduler.describe(*task, scheduler.currentState());
    EXPECT_EQ(described.LastRunTime, localDateTime(*run.lastStart));
    EXPECT_EQ(described.LastRunText, "The last run failed with exit status 7.");
}

TEST_F(RunnerTest, TimeLimitEndsAHungApplicationAndItsHelpers) {
    job.parameters = "--hang";
    job.maxRunTimeMs = 1000;
    writeJob();
    ASSERT_EQ(runRunner({jobPath, "0"}), 0);
    const RunState run = state();
    EXPECT_EQ(run.outcome, RunState::Outcome::Terminated);
    const auto pids = recordedLines(record(), "pid=");
    const auto helpers = recordedLines(record(), "helper=");
    ASSERT_EQ(pids.size(), 1u);
    ASSERT_EQ(helpers.size(), 1u);
    EXPECT_FALSE(processRuns(std::stoi(pids[0])));
    EXPECT_FALSE(processRuns(std::stoi(helpers[0])));
}

TEST_F(RunnerTest, SecondStartWhileOneRunsDoesNotStart) {
    writeJob();
    const int lock = open(runLockPath(jobPath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    struct flock held {};
    held.l_type = F_WRLCK;
    held.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(lock, F_OFD_SETLK, &held), 0);
    EXPECT_TRUE(runLockHeld(runLockPath(jobPath)));
    EXPECT_EQ(runRunner({jobPath, "0"}), 0);
    EXPECT_FALSE(std::filesystem::exists(record()));
    EXPECT_FALSE(std::filesystem::exists(runStatePath(jobPath)));
    close(lock);
    EXPECT_FALSE(runLockHeld(runLockPath(jobPath)));
}

TEST_F(RunnerTest, RunsOnlyOnTheTriggersDays) {
    job.triggers[0].startDay = dayOf(test::utc(2024, 5, 1));
    job.triggers[0].startMinute = 9 * 60;
    job.triggers[0].daysInterval = 2;
    writeJob();
    const std::string notDue = "--now=" + std::to_string(test::utc(2024, 5, 2, 9));
    EXPECT_EQ(runRunner({notDue, jobPath, "0"}), 0);
    EXPECT_FALSE(std::filesystem::exists(record()));
    const std::string due = "--now=" + std::to_string(test::utc(2024, 5, 3, 9));
    EXPECT_EQ(runRunner({due, jobPath, "0"}), 0);
    EXPECT_TRUE(std::filesystem::exists(record()));
    EXPECT_EQ(state().lastStart, test::utc(2024, 5, 3, 9));
    EXPECT_EQ(runRunner({due, jobPath, "1"}), 1); // no such trigger
}

TEST_F(RunnerTest, FailuresToStartAreRecorded) {
    job.workingDirectory = folder.path("missing folder");
    writeJob();
    EXPECT_EQ(runRunner({jobPath}), 1);
    const RunState run = state();
    EXPECT_EQ(run.outcome, RunState::Outcome::NotStarted);
    EXPECT_NE(run.message.find("missing folder"), std::string::npos);

    EXPECT_EQ(runRunner({folder.path("Tasks/none.job")}), 1);
    EXPECT_EQ(runRunner({"relative.job"}), 2);
    EXPECT_EQ(runRunner({}), 2);
    EXPECT_EQ(runRunner({"--now=soon", jobPath}), 2);
}

TEST_F(RunnerTest, ExitStatusOneIsAFailedRunAndZeroTimeLimitMeansNone) {
    EXPECT_EQ(runTimeLimit(0), std::nullopt);
    EXPECT_EQ(runTimeLimit(NoRunTimeLimit), std::nullopt);
    EXPECT_EQ(runTimeLimit(1000), std::chrono::milliseconds(1000));

    job.parameters = "--exit=1";
    job.maxRunTimeMs = 0; // taken as a deadline, it would end the application at once
    writeJob();
    ASSERT_EQ(runRunner({jobPath, "0"}), 0);
    const RunState run = state();
    EXPECT_EQ(run.outcome, RunState::Outcome::Exited);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(describeTask(job, run, TaskConditions{}).LastRunText,
              "The last run failed with exit status 1.");
}

TEST_F(RunnerTest, RunnerOfARemovedJobTakesItsLinesOutOnce) {
    const std::string tasks = folder.path("Tasks/");
    const std::string otherJob = tasks + "00000000000000000000000f.job";
    const auto line = [](std::string_view jobFile, int trigger) {
        return *cronTaskLine(0, "/opt/r", jobFile, static_cast<std::size_t>(trigger));
    };
    const CronBlockMarkers markers = cronBlockMarkers(tasks);
    const std::string foreign = "MAILTO=me\n# " + jobPath + "\n";
    writeText(bin.path("crontab.txt"), foreign + markers.begin + "\n" + line(jobPath, 0) + "\n" +
                                           line(otherJob, 0) + "\n" + line(jobPath, 1) + "\n" + markers.end +
                                           "\n" + std::string(LegacyCronBlockBegin) + "\n" +
                                           line(jobPath, 0) + "\n" + std::string(LegacyCronBlockEnd) + "\n");

    EXPECT_EQ(runRunner({jobPath, "0"}), 0);
    EXPECT_EQ(errorOutput(),
              "HalcyraRunner: " + jobPath + ": the task no longer exists; its crontab lines were removed\n");
    EXPECT_EQ(readText(bin.path("crontab.txt")),
              foreign + markers.begin + "\n" + line(otherJob, 0) + "\n" + markers.end + "\n");

    // Started again (say by a second line of the same minute): nothing left to remove, nothing written.
    EXPECT_EQ(runRunner({jobPath, "1"}), 1);
    EXPECT_EQ(errorOutput(), "HalcyraRunner: " + jobPath + ": the task no longer exists\n");
    EXPECT_EQ(readText(bin.path("calls.txt")), "-l\n-\n-l\n");

    writeText(bin.path("refuse"), "");
    writeText(bin.path("crontab.txt"), markers.begin + "\n" + line(jobPath, 0) + "\n" + markers.end + "\n");
    EXPECT_EQ(runRunner({jobPath, "0"}), 1);
    EXPECT_NE(errorOutput().find("could not be removed: crontab -: crontab: installing new crontab refused"),
              std::string::npos);
}

} // namespace
} // namespace halcyra
