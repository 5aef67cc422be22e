#include "scheduling/MsTaskUtils.h"

#include "SchedulingTestSupport.h"
#include "scheduling/CronTable.h"
#include "scheduling/ScheduleLookups.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace halcyra {
namespace {

using test::SchedulerTest;
using test::utc;
using Words = std::vector<std::string>;

TEST(TaskWords, ParametersSplitAsTheRunnerPassesThem) {
    EXPECT_EQ(splitTaskParameters(""), Words{});
    EXPECT_EQ(splitTaskParameters(" \t\x01 "), Words{});
    EXPECT_EQ(splitTaskParameters("-i \"Daily\""), (Words{"-i", "Daily"}));
    EXPECT_EQ(splitTaskParameters("\"My Profile\" Other\tThird"), (Words{"My Profile", "Other", "Third"}));
    EXPECT_EQ(splitTaskParameters("\"say \"\"hi\"\"\" \"\""), (Words{"say \"hi\"", ""}));
    // A quoted word ends at its closing quote; an unclosed one runs to the end.
    EXPECT_EQ(splitTaskParameters("\"ab\"cd \"open end"), (Words{"ab", "cd", "open end"}));
    EXPECT_EQ(splitTaskParameters("a\"b c"), (Words{"a\"b", "c"}));
    EXPECT_EQ(splitTaskParameters("$(touch x) a;b 50% caf\xC3\xA9"),
              (Words{"$(touch", "x)", "a;b", "50%", "caf\xC3\xA9"}));
    EXPECT_EQ(splitTaskParameters(std::string("a\0b", 3)), Words{"a"});
}

TEST(TaskWords, StrToWideConvertsWholeTexts) {
    EXPECT_EQ(StrToWide("Halcyra"), u"Halcyra");
    EXPECT_EQ(StrToWide("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), u"caf\u00E9 \u20AC \U0001F600");
    EXPECT_EQ(StrToWide("a\xFF"
                        "b\xC3"),
              u"a\uFFFDb\uFFFD");
    EXPECT_EQ(StrToWide("\xE0\x80\xAF"), u"\uFFFD\uFFFD\uFFFD"); // overlong
    EXPECT_EQ(StrToWide("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD"); // surrogate
    EXPECT_EQ(StrToWide(std::string(1000, 'x')).size(), 1000u);
}

TEST(TaskWords, StatusTextsAndCodes) {
    std::string text = "unchanged";
    TaskStatusText(0x12345, text);
    EXPECT_EQ(text, "unchanged");
    TaskStatusText(SchedCode::EventTrigger, text);
    EXPECT_EQ(text, "Event triggers dont have set run times.");
    TaskStatusText(static_cast<std::int32_t>(0x80070057), text);
    EXPECT_EQ(text, "The arguments are not valid.");
    EXPECT_EQ(schedCodeHex(SchedCode::ServiceNotInstalled), "8004130C");
    EXPECT_EQ(schedCodeHex(0x41300), "00041300");
}

TEST_F(SchedulerTest, MissingCrontabProgramMeansNoScheduler) {
    crontab->isAvailable = false;
    setSchedulerSetup(setup());
    std::string error;
    EXPECT_EQ(InitScheduler(error), SchedCode::ServiceNotInstalled);
    EXPECT_EQ(error, "Error in ActiveX.CoCreateInstance.Error Code :8004130C");
    EXPECT_EQ(currentScheduler(), nullptr);
    EXPECT_FALSE(create("Halcyra Daily", "\"Daily\""));
    auto list = std::make_unique<TTaskList>();
    EXPECT_FALSE(EnumTasks(list.get(), "", error));
    EXPECT_EQ(error, "Error in ActiveX.CoCreateInstance.Error Code :8004130C");
    bool shared = true;
    std::string text = "x";
    EXPECT_FALSE(GetProfileScheduleText("Daily", shared, text));
    EXPECT_FALSE(shared);
    EXPECT_EQ(text, "");
    EXPECT_EQ(jobFileCount(), 0u);
}

TEST_F(SchedulerTest, CreatedTaskRunsDailyAtNineFromToday) {
    const char* old = std::getenv("XDG_DATA_HOME");
    const std::optional<std::string> saved = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_DATA_HOME", folder.path("my data").c_str(), 1);
    const bool created = create("Halcyra Daily", "\"Daily\"");
    saved ? setenv("XDG_DATA_HOME", saved->c_str(), 1) : unsetenv("XDG_DATA_HOME");
    ASSERT_TRUE(created);
    ReleaseScheduler(); // opening a task sets the scheduler up by itself
    std::unique_ptr<ScheduledTask> task = GetTask("halcyra DAILY");
    ASSERT_TRUE(task);
    EXPECT_EQ(task->job.name, "Halcyra Daily");
    EXPECT_EQ(task->job.application, ProgramPath);
    EXPECT_EQ(task->job.parameters, "\"Daily\"");
    EXPECT_EQ(task->job.workingDirectory, "/opt/halcyra/bin");
    EXPECT_EQ(task->job.comment, "Task created by Halcyra");
    EXPECT_EQ(task->job.flags, 0x40u);
    EXPECT_EQ(task->job.maxRunTimeMs, 82800000u);
    ASSERT_EQ(task->job.triggers.size(), 1u);
    EXPECT_EQ(task->job.triggers[0].startDay, dayOf(utc(2024, 5, 1)));
    EXPECT_EQ(task->job.triggers[0].startMinute, 9 * 60);
    EXPECT_EQ(task->job.triggers[0].daysInterval, 1);
    EXPECT_FALSE(task->job.triggers[0].endDay);
    // The run gets the session's data folder.
    const auto& env = task->job.environment;
    EXPECT_NE(std::find(env.begin(), env.end(),
                        std::make_pair(std::string("XDG_DATA_HOME"), folder.path("my data"))),
              env.end());

    const std::vector<std::string> lines = blockLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0],
              "0 9 * * * '/opt/halcyra/bin/HalcyraRunner' '" + folder.path("Tasks/") + task->id + ".job' 0");
    // The crontab holds paths only, never the task's name or parameters.
    EXPECT_EQ(crontab->contents->find("Daily"), std::string::npos);

    TSchedTask record;
    bool shared = true;
    std::string error;
    ASSERT_TRUE(FindProfileTask("daily", record, shared, error)) << error;
    EXPECT_FALSE(shared);
    EXPECT_EQ(record.Name, "Halcyra Daily");
    EXPECT_EQ(record.NextRunTime, utc(2024, 5, 1, 9));
    EXPECT_EQ(record.LastRunText, "The task has not yet run.");
    EXPECT_EQ(record.TriggerText, "At 09:00 every day, starting 2024-05-01");
}

TEST_F(SchedulerTest, TaskNamesAreUniqueWithoutRegardToCase) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    const std::string before = *crontab->contents;
    EXPECT_FALSE(create("HALCYRA daily", "\"Other\""));
    EXPECT_EQ(jobFileCount(), 1u);
    EXPECT_EQ(*crontab->contents, before);
}

TEST_F(SchedulerTest, NamesAndParametersWithLineBreaksOrNulAreRefused) {
    EXPECT_FALSE(create("Halcyra\nDaily", "\"Daily\""));
    EXPECT_FALSE(create("Halcyra Daily", "\"Daily\"\r\n* * * * * rm -rf ~"));
    EXPECT_FALSE(create(std::string("Halcyra\0Daily", 13), "\"Daily\""));
    EXPECT_FALSE(create("", "\"Daily\""));
    EXPECT_EQ(jobFileCount(), 0u);
    EXPECT_EQ(crontab->writes, 0);

    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    auto task = GetTask("Halcyra Daily");
    ASSERT_TRUE(task);
    task->job.parameters = "\"Daily\"\n\"Other\"";
    std::string error;
    EXPECT_EQ(SaveTask(*task, error), SchedCode::InvalidArg);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(GetTask("Halcyra Daily")->job.parameters, "\"Daily\"");
}

TEST_F(SchedulerTest, FailingCrontabLeavesNoTaskBehind) {
    crontab->contents = "MAILTO=me\n";
    crontab->failWrite = true;
    EXPECT_FALSE(create("Halcyra Daily", "\"Daily\""));
    EXPECT_EQ(jobFileCount(), 0u);
    EXPECT_EQ(*crontab->contents, "MAILTO=me\n");

    // A crontab that cannot be read is not written.
    crontab->failWrite = false;
    crontab->failRead = true;
    EXPECT_FALSE(create("Halcyra Daily", "\"Daily\""));
    EXPECT_EQ(jobFileCount(), 0u);
    EXPECT_EQ(crontab->writes, 0);

    // A path that cannot be written to the crontab safely fails the same way.
    crontab->failRead = false;
    SchedulerSetup unsafe = setup();
    unsafe.runnerPath = "/opt/odd\\%dir/HalcyraRunner";
    setSchedulerSetup(unsafe);
    EXPECT_FALSE(create("Halcyra Daily", "\"Daily\""));
    EXPECT_EQ(jobFileCount(), 0u);
    EXPECT_EQ(crontab->writes, 0);
}

TEST_F(SchedulerTest, EditKeepsTheOldTaskWhenTheCrontabFails) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    auto task = GetTask("Halcyra Daily");
    ASSERT_TRUE(task);
    task->job.triggers[0].startMinute = 18 * 60 + 30;
    task->job.parameters = "\"New Name\"";
    crontab->failWrite = true;
    EXPECT_NE(SaveTask(*task), 0);
    EXPECT_EQ(GetTask("Halcyra Daily")->job.parameters, "\"Daily\"");
    crontab->failWrite = false;
    EXPECT_EQ(SaveTask(*task), 0);
    EXPECT_EQ(GetTask("Halcyra Daily")->job.parameters, "\"New Name\"");
    ASSERT_EQ(blockLines().size(), 1u);
    EXPECT_EQ(blockLines()[0].rfind("30 18 * * * ", 0), 0u);

    // A disabled task keeps its file but leaves the crontab.
    task->job.flags |= TaskFlagDisabled;
    EXPECT_EQ(SaveTask(*task), 0);
    EXPECT_TRUE(blockLines().empty());
    EXPECT_EQ(crontab->contents->find("# BEGIN"), std::string::npos);
}

TEST_F(SchedulerTest, EditTaskUsesTheInstalledEditor) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    EXPECT_FALSE(EditTask(nullptr, "Halcyra Daily")); // no editor installed
    std::string seen;
    setTaskEditor([&seen](QWidget*, ScheduledTask& task) {
        seen = task.job.name;
        task.job.parameters = "\"Renamed\"";
        return SaveTask(task) == 0;
    });
    EXPECT_FALSE(EditTask(nullptr, "No Such Task"));
    EXPECT_TRUE(EditTask(nullptr, "halcyra daily"));
    setTaskEditor(nullptr);
    EXPECT_EQ(seen, "Halcyra Daily");
    bool shared = true;
    EXPECT_TRUE(IsProfileScheduled("Renamed", shared));
    EXPECT_FALSE(IsProfileScheduled("Daily", shared));
}

TEST_F(SchedulerTest, DeleteRemovesFilesAndCrontabLinesOrNothing) {
    crontab->contents = "# keep me";
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    ASSERT_TRUE(create("Halcyra Weekly", "\"Weekly\""));
    crontab->failWrite = true;
    EXPECT_FALSE(DeleteTask("Halcyra Daily"));
    EXPECT_TRUE(GetTask("Halcyra Daily"));
    EXPECT_EQ(blockLines().size(), 2u);
    crontab->failWrite = false;
    EXPECT_TRUE(DeleteTask("HALCYRA DAILY"));
    EXPECT_FALSE(GetTask("Halcyra Daily"));
    EXPECT_FALSE(DeleteTask("Halcyra Daily"));
    EXPECT_EQ(blockLines().size(), 1u);
    EXPECT_TRUE(DeleteTask("Halcyra Weekly"));
    EXPECT_EQ(*crontab->contents, "# keep me\n");
    // Only the store's lock file is left.
    for (const auto& entry : std::filesystem::directory_iterator(folder.path("Tasks")))
        EXPECT_EQ(entry.path().filename(), ".lock");
}

TEST_F(SchedulerTest, FindScheduledTaskEdgeCases) {
    ASSERT_TRUE(create("Halcyra Both", "\"Daily\" \"Weekly\""));
    ASSERT_TRUE(create("Halcyra Interactive", "-i \"Monthly\""));
    ASSERT_TRUE(create("Halcyra Blank", "\"My Profile\" Two Words"));
    ASSERT_TRUE(create("Other Program", "\"Yearly\"", "/usr/bin/other"));
    ASSERT_TRUE(create("Halcyra Upper", "\"Hourly\"", "/elsewhere/HALCYRA"));

    TSchedTask record;
    bool shared = false;
    std::string error;
    ASSERT_TRUE(FindProfileTask("Weekly", record, shared, error));
    EXPECT_TRUE(shared);
    EXPECT_EQ(record.Name, "Halcyra Both");
    ASSERT_TRUE(FindProfileTask("monthly", record, shared, error));
    EXPECT_FALSE(shared);
    EXPECT_EQ(record.Name, "Halcyra Interactive");
    // Without "-i" in the ignore list, the switch counts as another profile.
    ASSERT_TRUE(FindScheduledTask("Monthly", IgnoreWords(), record, shared, error));
    EXPECT_TRUE(shared);
    EXPECT_TRUE(FindProfileTask("My Profile", record, shared, error));
    EXPECT_TRUE(FindProfileTask("Two", record, shared, error));
    EXPECT_FALSE(FindProfileTask("Two Words", record, shared, error));
    EXPECT_FALSE(shared);
    // Another program's task is never found, even when it names the profile.
    EXPECT_FALSE(FindProfileTask("Yearly", record, shared, error));
    EXPECT_TRUE(error.empty());
    // The program's file name is compared without regard to case.
    EXPECT_TRUE(FindProfileTask("Hourly", record, shared, error));

    std::string text;
    EXPECT_TRUE(GetProfileScheduleText("daily", shared, text));
    EXPECT_TRUE(shared);
    EXPECT_EQ(text, "The task has not yet run.");

    auto list = std::make_unique<TTaskList>();
    ASSERT_TRUE(EnumTasks(list.get(), "", error));
    ASSERT_EQ(list->size(), 5u);
    EXPECT_EQ((*list)[0].Name, "Halcyra Both"); // creation order
    EXPECT_EQ((*list)[3].Task->ApplicationName, "/usr/bin/other");
    list->clear();
    ASSERT_TRUE(EnumTasks(list.get(), "other", error));
    EXPECT_EQ(list->size(), 1u);
    FreeTaskList(list);
    EXPECT_EQ(list, nullptr);
    FreeTaskList(list);
    EXPECT_FALSE(EnumTasks(nullptr, "", error));
}

TEST_F(SchedulerTest, StoreErrorHalfWayIsNotTheEndOfTheList) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    // A job file that cannot be read (the name sorts after the real one).
    ASSERT_EQ(symlink("/proc/self/mem", folder.path("Tasks/ffffffffffffffffffffffff.job").c_str()), 0);
    // Files that are not tasks are passed over.
    test::writeText(folder.path("Tasks/0.job"), "not a task\n");
    std::filesystem::create_directory(folder.path("Tasks/1.job"));

    auto list = std::make_unique<TTaskList>();
    std::string error;
    EXPECT_FALSE(EnumTasks(list.get(), "", error));
    EXPECT_EQ(error, "SchedulingAgent.Enum Result:80004005");
    TSchedTask record;
    bool shared = true;
    EXPECT_FALSE(FindProfileTask("Daily", record, shared, error));
    EXPECT_EQ(error, "SchedulingAgent.Enum Result:80004005");

    std::filesystem::remove(folder.path("Tasks/ffffffffffffffffffffffff.job"));
    EXPECT_TRUE(FindProfileTask("Daily", record, shared, error)) << error;
}

TEST_F(SchedulerTest, StatusShowsAStoppedCronDaemon) {
    crontab->isDaemonRunning = false;
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    bool shared = false;
    std::string text;
    ASSERT_TRUE(GetProfileScheduleText("Daily", shared, text));
    EXPECT_EQ(text, "The Task Scheduler Service is not running.");
}

TEST_F(SchedulerTest, HostileProfileNamesStayOneWord) {
    for (const std::string name : {"$(touch x)", "a;b", "50%", "it's", "say \"\"hi\"\""}) {
        ASSERT_TRUE(create("Halcyra " + name, "\"" + name + "\""));
    }
    EXPECT_EQ(splitTaskParameters(GetTask("Halcyra $(touch x)")->job.parameters), Words{"$(touch x)"});
    EXPECT_EQ(splitTaskParameters(GetTask("Halcyra 50%")->job.parameters), Words{"50%"});
    bool shared = true;
    EXPECT_TRUE(IsProfileScheduled("a;b", shared));
    EXPECT_FALSE(shared);
    EXPECT_TRUE(IsProfileScheduled("say \"hi\"", shared));
    for (const std::string& line : blockLines())
        EXPECT_EQ(line.find_first_of("$;\"%"), std::string::npos) << line;
}

constexpr const char* NotScheduledText =
    "One or more of the properties that are needed to run this task on a schedule have not been set.";

TEST_F(SchedulerTest, TwoDataFoldersSharingOneCrontabKeepTheirOwnLines) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    const std::vector<std::string> first = blockLines();
    test::TempFolder otherData;
    SchedulerSetup other = setup();
    other.tasksFolder = otherData.path("Tasks/");
    setSchedulerSetup(other);
    ASSERT_TRUE(create("Halcyra Other", "\"Other\""));
    ASSERT_TRUE(DeleteTask("Halcyra Other"));

    setSchedulerSetup(setup());
    EXPECT_EQ(blockLines(), first);
    bool shared = false;
    std::string text;
    ASSERT_TRUE(GetProfileScheduleText("Daily", shared, text));
    EXPECT_EQ(text, "The task has not yet run.");
}

TEST_F(SchedulerTest, MissingLineIsReportedAndRestoredAtStart) {
    std::string error;
    EXPECT_TRUE(RestoreScheduledTasks(error)) << error; // nothing to restore
    EXPECT_EQ(crontab->writes, 0);
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    const std::vector<std::string> lines = blockLines();
    const std::string foreign = "# mine\n0 1 * * * /bin/true\n";
    crontab->contents = foreign; // the user's own edit dropped the block

    TSchedTask record;
    bool shared = false;
    ASSERT_TRUE(FindProfileTask("Daily", record, shared, error)) << error;
    EXPECT_EQ(record.StatusText, NotScheduledText);
    EXPECT_EQ(record.NextRunTime, UnknownRunTime);

    crontab->failWrite = true;
    EXPECT_FALSE(RestoreScheduledTasks(error));
    EXPECT_EQ(error, "crontab: cannot install (test)");
    crontab->failWrite = false;
    ASSERT_TRUE(RestoreScheduledTasks(error)) << error;
    EXPECT_EQ(blockLines(), lines);
    EXPECT_EQ(crontab->contents->substr(0, foreign.size()), foreign);
    ASSERT_TRUE(FindProfileTask("Daily", record, shared, error));
    EXPECT_EQ(record.StatusText, "The task has not yet run.");
}

TEST_F(SchedulerTest, OverLongCrontabLineIsRefusedAndNothingWritten) {
    std::string deep = folder.root();
    for (int i = 0; i < 4; ++i)
        deep += std::string(240, 'd') + "/";
    SchedulerSetup longSetup = setup();
    longSetup.tasksFolder = deep + "Tasks/";
    setSchedulerSetup(longSetup);

    bool needAccount = false;
    std::string error;
    EXPECT_FALSE(CreateTask("Halcyra Daily", ProgramPath, "\"Daily\"", "/", needAccount, error));
    EXPECT_NE(error.find("cron accepts at most 999"), std::string::npos) << error;
    EXPECT_NE(error.find(longSetup.tasksFolder), std::string::npos);
    EXPECT_EQ(crontab->writes, 0);
    for (const auto& entry : std::filesystem::directory_iterator(longSetup.tasksFolder))
        EXPECT_NE(entry.path().extension(), ".job");

    // A disabled task needs no line and is stored; enabling it is refused and leaves it as it was.
    ScheduledTask task = scheduler().newTask("Halcyra Daily");
    task.job.flags = TaskFlagDisabled;
    task.job.triggers = {TaskTrigger{}};
    ASSERT_EQ(SaveTask(task, error), SchedCode::Ok) << error;
    const std::string stored = test::readText(scheduler().jobPath(task.id));
    task.job.flags = 0;
    EXPECT_EQ(SaveTask(task, error), SchedCode::InvalidArg);
    EXPECT_EQ(test::readText(scheduler().jobPath(task.id)), stored);
    EXPECT_EQ(crontab->writes, 0);
}

} // namespace
} // namespace halcyra
