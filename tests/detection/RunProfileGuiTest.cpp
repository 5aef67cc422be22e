#include "detection/RunProfile.h"

#include "TestSupport.h"
#include "gui/GuiTestSupport.h"
#include "settings/Settings.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

std::string keyOf(const std::string& name) {
    return std::string(SettingsRootKey) + "\\" + name;
}

// One ordinary profile on a small tree, and a run window for it with scripted UI services.
class RunWindowTest : public ::testing::Test {
protected:
    explicit RunWindowTest(const char* name = "GuiRun") : m_name(name), m_settings(keyOf(name)) {
        m_settings.WriteString("ProfileType", "1");
        m_settings.WriteString("Source", m_tree.root());
        m_settings.WriteString("Recursive", "Y");
        m_settings.WriteString("DisplayLog", "N");
    }
    void SetUp() override {
        RunEnvironment environment;
        environment.ui = &m_ui;
        m_window = std::make_unique<TfrmRunProfile>(m_settings, true, std::move(environment));
    }
    void TearDown() override { m_settings.DeleteSubKey({}); }

    // Runs the whole profile as the start timer would, with `during` queued for the run's first events.
    void runNow(std::function<void()> during = {}) {
        m_window->show();
        if (during)
            QTimer::singleShot(0, m_window.get(), std::move(during));
        QMetaObject::invokeMethod(m_window.get(), "AutoRunTimerTimer");
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& request : m_ui.requests())
            texts.push_back(request.text);
        return texts;
    }

    std::string m_name;
    test::TestTree m_tree{{"a.txt", "abc"}, {"sub/b.txt", "b"}};
    TSettings m_settings;
    ScriptedUiServices m_ui;
    std::unique_ptr<TfrmRunProfile> m_window;
};

TEST_F(RunWindowTest, ComponentsAreNamedAndTheTimerRunsTheProfileOnce) {
    TfrmRunProfile& w = *m_window;
    EXPECT_EQ(w.windowTitle(), "Run Profile: GuiRun");
    EXPECT_EQ(w.size(), QSize(586, 220));
    for (const char* name : {"gbProfile", "Label3", "edtLastRun", "edtStatus", "lFilename"})
        test::child(&w, name);
    EXPECT_EQ(test::child<QProgressBar>(&w, "jpbStep")->maximum(), 7);
    EXPECT_EQ(test::child<QProgressBar>(&w, "jpbHashing")->width(), 553);
    QPushButton* abort = test::child<QPushButton>(&w, "bAbort");
    EXPECT_EQ(abort->text(), "Abort");
    EXPECT_FALSE(abort->isEnabled());
    QTimer* timer = test::child<QTimer>(&w, "AutoRunTimer");
    EXPECT_TRUE(timer->isSingleShot());
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_FALSE(timer->isActive());

    bool enabledDuringRun = false;
    runNow([&] { // first served before Abort is enabled, then again once the steps begin
        QTimer::singleShot(
            0, [&] { enabledDuringRun = abort->isEnabled() && QApplication::overrideCursor() != nullptr; });
    });
    EXPECT_TRUE(enabledDuringRun);
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(timer->isActive());
    EXPECT_FALSE(abort->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(w.gbProfile->title(), "GuiRun");
    EXPECT_EQ(w.edtLastRun->text(), "Never");
    EXPECT_EQ(w.jpbStep->value(), 7);
    EXPECT_EQ(m_settings.ReadString("LastResult"), "Changes");
    EXPECT_TRUE(messages().empty());
}

TEST_F(RunWindowTest, ClosingWhileRunningAsksTheAbortQuestionAndAbortConfirmsIt) {
    m_ui.queueButton(ButtonNo);
    m_ui.queueButton(ButtonYes);
    bool stillOpen = false, abortedAfterNo = true;
    runNow([&] {
        m_window->close(); // answered No
        stillOpen = m_window->isVisible();
        abortedAfterNo = m_window->Aborted();
        m_window->bAbort->setEnabled(true); // the run enables it only once its steps begin
        m_window->bAbort->click();          // answered Yes
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(abortedAfterNo);
    EXPECT_TRUE(m_window->Aborted());
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_EQ(messages(), (std::vector<std::string>(2, "Are you sure you want to abort?")));
    EXPECT_EQ(m_settings.ReadString("LastResult"), "Aborted");
}

TEST_F(RunWindowTest, ClosingBeforeTheStartLeavesTheProfileUntouched) {
    m_window->show();
    EXPECT_TRUE(m_window->AutoRunTimer->isActive());
    m_window->close();
    EXPECT_FALSE(m_window->isVisible());
    EXPECT_FALSE(m_window->AutoRunTimer->isActive());
    EXPECT_EQ(m_settings.ReadString("LastRun"), "");
}

TEST_F(RunWindowTest, UpdateHeldBackByTheThrottleIsDrawnByTheRefreshTimer) {
    std::int64_t now = 1000;
    m_window->setRefreshClock([&] { return now; });
    RunProgress& progress = *m_window;
    progress.setFileName("/quick.txt");
    progress.processEvents();
    EXPECT_EQ(m_window->lFilename->text(), "/quick.txt");
    EXPECT_FALSE(m_window->RefreshTimer->isActive());

    now = 1010; // a large file follows at once: too soon to draw
    progress.setFileName("/large.iso");
    progress.processEvents();
    EXPECT_EQ(m_window->lFilename->text(), "/quick.txt");
    ASSERT_TRUE(m_window->RefreshTimer->isActive());
    EXPECT_TRUE(m_window->RefreshTimer->isSingleShot());
    EXPECT_EQ(m_window->RefreshTimer->interval(), 40); // drawn when the 50 ms are up
    QMetaObject::invokeMethod(m_window->RefreshTimer, "timeout");
    EXPECT_EQ(m_window->lFilename->text(), "/large.iso");

    now = 1070; // a poll after the interval draws at once
    progress.setFileName("/next");
    progress.processEvents();
    EXPECT_EQ(m_window->lFilename->text(), "/next");
    EXPECT_FALSE(m_window->RefreshTimer->isActive());

    // Only a run with a person at the window serves events inside a file.
    EXPECT_FALSE(progress.pollsInsideFiles());
    EXPECT_TRUE(
        static_cast<RunProgress&>(*std::make_unique<TfrmRunProfile>(m_settings, false)).pollsInsideFiles());
}

TEST(RunProfileEntry, MissingProfileIsReportedWithoutAWindow) {
    test::ScopedScriptedUi scripted;
    TSettings missing(keyOf("NoSuchProfile"));
    TfrmRunProfile::RunProfile(missing, true);
    ASSERT_EQ(scripted.ui.requests().size(), 1u);
    EXPECT_EQ(scripted.ui.requests()[0].text, "The profile NoSuchProfile does not exist, or is corrupted.");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
} // namespace halcyra
