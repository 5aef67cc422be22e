#include "scheduling/TaskJob.h"

#include "SchedulingTestSupport.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TaskJob sampleJob() {
    TaskJob job;
    job.name = "Halcyra Da<ily>";
    job.application = "/opt/my apps/Halcyra";
    job.parameters = "-i \"Daily\" \"a=b\"";
    job.workingDirectory = "/opt/my apps";
    job.comment = "line one\nline two\r\t<3C>";
    job.flags = TaskFlagDontStartIfOnBatteries;
    job.maxRunTimeMs = 82800000;
    TaskTrigger first;
    first.startDay = 19844; // 2024-05-01
    first.startMinute = 9 * 60;
    TaskTrigger second;
    second.startDay = -719162; // 0001-01-01
    second.startMinute = 23 * 60 + 59;
    second.daysInterval = 14;
    second.endDay = 2932896; // 9999-12-31
    second.enabled = false;
    job.triggers = {first, second};
    job.environment = {{"HOME", "/home/x"}, {"LANG", "de_DE.UTF-8"}, {"ODD", "a=b\nc"}};
    return job;
}

TEST(TaskJob, JobFileRoundTripsEveryField) {
    const TaskJob job = sampleJob();
    const std::string text = formatTaskJob(job);
    // Every record stays on its own line: the only line ends are the ones the format writes.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13);
    EXPECT_NE(text.find("Trigger=2024-05-01 09:00 1 - 1\n"), std::string::npos);
    EXPECT_NE(text.find("Trigger=0001-01-01 23:59 14 9999-12-31 0\n"), std::string::npos);
    const auto back = parseTaskJob(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, job);
}

TEST(TaskJob, MalformedJobFilesAreRejected) {
    const std::string good = formatTaskJob(sampleJob());
    EXPECT_TRUE(parseTaskJob(good + "FutureKey=whatever\n"));
    EXPECT_FALSE(parseTaskJob(""));
    EXPECT_FALSE(parseTaskJob("HalcyraTask 2\nName=x\n"));
    EXPECT_FALSE(parseTaskJob("HalcyraTask 1\nApplication=/x\n")); // no name
    for (const char* trigger : {"2024-02-30 09:00 1 - 1", "2024-05-01 24:00 1 - 1", "2024-05-01 09:00 0 - 1",
                                "2024-05-01 09:00 1 - 2", "2024-05-01 9:00 1 - 1", "2024-05-01 09:00 1 -",
                                "2024-05-01 09:00 +1 - 1"}) {
        EXPECT_FALSE(parseTaskJob(std::string("HalcyraTask 1\nName=x\nTrigger=") + trigger + "\n"))
            << trigger;
    }
    EXPECT_FALSE(parseTaskJob("HalcyraTask 1\nName=x\nFlags=-1\n"));
    EXPECT_FALSE(parseTaskJob("HalcyraTask 1\nName=x\nMaxRunTime=4294967296\n"));
    EXPECT_FALSE(parseTaskJob("HalcyraTask 1\nName=x\nEnvironment==x\n"));
    EXPECT_FALSE(parseTaskJob("HalcyraTask 1\nName=x\nno equals sign\n"));
}

TEST(TaskJob, RunStateRoundTrips) {
    RunState state;
    EXPECT_EQ(parseRunState(formatRunState(state)), state);
    state.lastStart = 1714550400;
    state.lastEnd = 1714550460;
    state.outcome = RunState::Outcome::NotStarted;
    state.exitCode = -3;
    state.runnerPid = 4242;
    state.message = "cannot start\n/opt/x";
    EXPECT_EQ(parseRunState(formatRunState(state)), state);
    EXPECT_FALSE(parseRunState("HalcyraRunState 1\nOutcome=exploded\n"));
    EXPECT_FALSE(parseRunState("HalcyraTask 1\n"));
}

TEST(TaskJob, TaskRecordFilesAreReadWholeAndWrittenAtomically) {
    test::TempFolder folder;
    std::string error;
    ASSERT_TRUE(writeTaskRecord(folder.path("a.job"), "line 1\nline 2\n", error)) << error;
    std::string text;
    EXPECT_EQ(readTaskRecord(folder.path("a.job"), text), 0);
    EXPECT_EQ(text, "line 1\nline 2\n");
    EXPECT_EQ(readTaskRecord(folder.path("missing.job"), text), ENOENT);
    // A folder, or a file that cannot be read, is not a record.
    EXPECT_EQ(readTaskRecord(folder.root(), text), EINVAL);
    ASSERT_EQ(symlink("/proc/self/mem", folder.path("mem.job").c_str()), 0);
    EXPECT_NE(readTaskRecord(folder.path("mem.job"), text), 0);
    // Writing into a missing folder fails and says why.
    EXPECT_FALSE(writeTaskRecord(folder.path("no/such/a.job"), "x\n", error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace halcyra
