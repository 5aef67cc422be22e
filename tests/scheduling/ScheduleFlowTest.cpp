#include "scheduling/ScheduleFlow.h"

#include "SchedulingTestSupport.h"
#include "scheduling/MsTaskUtils.h"
#include "scheduling/ScheduleLookups.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

using Words = std::vector<std::string>;

TEST(ScheduleTexts, TaskNameParametersWorkingFolderAndRunTimes) {
    EXPECT_EQ(profileTaskName("/opt/halcyra/bin/Halcyra", "Daily"), "Halcyra Daily");
    EXPECT_EQ(profileTaskName("/opt/Halcyra.exe", "My Profile"), "Halcyra My Profile");
    EXPECT_EQ(profileTaskParameters("", "Daily"), "\"Daily\"");
    EXPECT_EQ(profileTaskParameters(" -i ", "Daily"), "-i  \"Daily\"");
    // Whatever the name holds, the runner reads it back as one word.
    for (const std::string name : {"say \"hi\"", "a b", "\"", "-i"})
        EXPECT_EQ(splitTaskParameters(profileTaskParameters("-i", name)), (Words{"-i", name})) << name;
    EXPECT_EQ(programWorkingFolder("/opt/halcyra/bin/Halcyra"), "/opt/halcyra/bin");
    EXPECT_EQ(programWorkingFolder("/Halcyra"), "/");

    TSchedTask task;
    task.NextRunTime = test::utc(2024, 5, 2, 9);
    EXPECT_EQ(scheduleInfoTexts(task, true).nextRunDate, "2024-05-02 09:00:00"); // C locale
    EXPECT_EQ(scheduleInfoTexts(task, true).recentRunDate, "Unknown");
    EXPECT_EQ(scheduleInfoTexts(task, true).shared, "Yes");
    EXPECT_EQ(scheduleInfoTexts(task, false).shared, "No");
}

// The flows of the schedule window against a scheduler on an in-memory crontab.
class ScheduleFlowTest : public test::SchedulerTest {
protected:
    struct Shown {
        std::optional<TSchedTask> task;
        bool shared = false;
        bool justCreated = false;
    };

    void edit(const std::string& profile) {
        editProfileSchedule(ui, profile, "",
                            [this](const std::string&, const TSchedTask* task, bool shared, bool justCreated,
                                   bool needPassword) {
                                EXPECT_FALSE(needPassword);
                                shown.push_back({task ? std::optional<TSchedTask>(*task) : std::nullopt,
                                                 shared, justCreated});
                            });
    }
    ScheduleSession sessionFor(const std::string& profile) {
        TSchedTask task;
        bool shared = false;
        std::string error;
        EXPECT_TRUE(FindProfileTask(profile, task, shared, error)) << error;
        return ScheduleSession(profile, task, shared);
    }
    std::string lastText() const { return ui.requests().empty() ? "" : ui.requests().back().text; }

    ScriptedUiServices ui;
    std::vector<Shown> shown;
};

TEST_F(ScheduleFlowTest, NoScheduleOffersToCreateADailyTask) {
    ui.queueButton(ButtonNo);
    edit("My Daily");
    EXPECT_EQ(lastText(), "There is no schedule for the profile \"My Daily\". Would you like to create one?");
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(jobFileCount(), 0u);

    ui.queueButton(ButtonYes);
    edit("My Daily");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].justCreated);
    EXPECT_EQ(shown[0].task->Name, "Halcyra My Daily");
    EXPECT_EQ(shown[0].task->ApplicationName, ProgramPath);
    EXPECT_EQ(shown[0].task->Parameters, "\"My Daily\"");
    EXPECT_EQ(shown[0].task->WorkingDirectory, "/opt/halcyra/bin");

    // Next time the task is found at once, without a question.
    edit("my daily");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_FALSE(shown[1].justCreated);
    EXPECT_EQ(ui.requests().size(), 2u);
}

TEST_F(ScheduleFlowTest, FailuresAreShownAndNoWindowOpens) {
    crontab->failWrite = true;
    ui.queueButton(ButtonYes);
    edit("Daily");
    EXPECT_EQ(lastText(), "A scheduled task could not be created!\n\ncrontab: cannot install (test)");
    EXPECT_EQ(ui.requests().back().messageKind, MessageKind::Error);
    EXPECT_EQ(jobFileCount(), 0u);

    // A scheduler that cannot be reached is reported as it is, without the create question.
    crontab->isAvailable = false;
    setSchedulerSetup(setup());
    edit("Daily");
    EXPECT_EQ(lastText(), "Error in ActiveX.CoCreateInstance.Error Code :8004130C");
    EXPECT_EQ(ui.requests().size(), 3u);
    EXPECT_TRUE(shown.empty());
}

TEST_F(ScheduleFlowTest, DeletingASharedTaskUsesTheSharedWordingWithNoAsDefault) {
    ASSERT_TRUE(create("Halcyra Both", "-i \"Daily\" \"Weekly\""));
    ScheduleSession session = sessionFor("Daily");
    ASSERT_TRUE(session.shared());
    EXPECT_FALSE(session.deleteSchedule(ui)); // a dismissed box answers No
    ui.queueButton(ButtonYes);
    EXPECT_TRUE(session.deleteSchedule(ui));
    EXPECT_EQ(ui.requests()[0].text,
              "Other profiles are set to run in this same scheduled task. Are you sure you "
              "want to delete the shared schedule for Daily?");
    EXPECT_EQ(ui.requests()[0].defaultButton, ButtonNo);
    EXPECT_EQ(lastText(), "Schedule deleted!");
    bool shared = false;
    EXPECT_FALSE(IsProfileScheduled("Weekly", shared));
}

TEST_F(ScheduleFlowTest, FailedDeleteOrEditIsShownAndKeepsTheWindow) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    ScheduleSession session = sessionFor("Daily");
    crontab->failWrite = true;
    ui.queueButton(ButtonYes);
    EXPECT_FALSE(session.deleteSchedule(ui));
    EXPECT_EQ(lastText(), "There was an error trying to delete the schedule.");
    EXPECT_EQ(jobFileCount(), 1u);
    EXPECT_FALSE(session.editSchedule(ui, [](const std::string&) { return false; }));
    EXPECT_EQ(lastText(), "There was an error trying to edit the schedule.");

    ScheduleSession none("Daily", std::nullopt, false);
    EXPECT_FALSE(none.deleteSchedule(ui));
    EXPECT_FALSE(none.editSchedule(ui, [](const std::string&) { return true; }));
    EXPECT_EQ(ui.requests().size(), 3u);
}

TEST_F(ScheduleFlowTest, EditingRefreshesTheRecordAndTheSharing) {
    ASSERT_TRUE(create("Halcyra Daily", "\"Daily\""));
    ScheduleSession session = sessionFor("Daily");
    auto setParameters = [](const std::string& parameters) {
        return [parameters](const std::string& taskName) {
            auto task = GetTask(taskName);
            if (!task)
                return false;
            task->job.parameters = parameters;
            return SaveTask(*task) == 0;
        };
    };
    EXPECT_TRUE(session.editSchedule(ui, setParameters("\"Daily\" \"Other\"")));
    EXPECT_TRUE(session.shared());
    EXPECT_EQ(session.task()->Parameters, "\"Daily\" \"Other\"");

    // The task no longer runs the profile: the old record stays on show, no longer shared.
    EXPECT_TRUE(session.editSchedule(ui, setParameters("\"Other\" \"Third\"")));
    EXPECT_FALSE(session.shared());
    EXPECT_EQ(session.task()->Parameters, "\"Daily\" \"Other\"");
    EXPECT_TRUE(ui.requests().empty());
}

} // namespace
} // namespace halcyra
