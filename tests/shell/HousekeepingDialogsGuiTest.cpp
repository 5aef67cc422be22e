#include "../scheduling/SchedulingTestSupport.h"
#include "gui/GuiTestSupport.h"

#include "scheduling/ScheduleForm.h"
#include "scheduling/ScheduleLookups.h"
#include "settings/Settings.h"
#include "shell/About.h"
#include "shell/GroupProfile.h"
#include "shell/ProfileCommandsGui.h"
#include "shell/ProfileSetup.h"
#include "shell/ProfileType.h"

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace halcyra {
namespace {

using test::child;
using test::onModal;
using Names = std::vector<std::string>;

QStringList rows(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

void click(QWidget* window, const char* button) {
    QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
}

class HousekeepingDialogsTest : public test::SchedulerTest {
protected:
    HousekeepingDialogsTest() {
        Names names;
        root.GetSubKeyNames(names);
        for (const std::string& name : names)
            root.DeleteSubKey(name);
    }
    ~HousekeepingDialogsTest() override { TfrmSchedule::editScheduleEntry() = previousScheduleEntry; }

    void addProfile(const std::string& name, std::int32_t type) {
        group(name).WriteInteger("ProfileType", type);
    }
    TSettings group(const std::string& name) { return TSettings(root.Key() + "\\" + name); }
    Names values(const std::string& name) {
        TSettings settings(root.Key() + "\\" + name);
        Names names, result;
        settings.GetValueNames({}, names);
        for (const std::string& value : names)
            result.push_back(value + "=" + settings.ReadStringDef(value, ""));
        return result;
    }

    TSettings root{SettingsRootKey};
    test::ScopedScriptedUi scripted;
    ScriptedUiServices& ui = scripted.ui;
    TfrmSchedule::EditScheduleEntry previousScheduleEntry = TfrmSchedule::editScheduleEntry();
};

TEST_F(HousekeepingDialogsTest, ProfileTypeChoiceStartsFromThePresetAndCancelKeepsIt) {
    std::uint8_t type = 0;
    onModal([](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Profile type"));
        EXPECT_EQ(child<QGroupBox>(window, "GroupBox1")->title(),
                  QStringLiteral("What type of profile do you want to create?"));
        EXPECT_TRUE(child<QRadioButton>(window, "rbHash")->isChecked());
        EXPECT_EQ(child<QRadioButton>(window, "rbGroup")->text(), QStringLiteral("&Group profile"));
        child<QRadioButton>(window, "rbGroup")->click();
        click(window, "BitBtn1");
    });
    EXPECT_TRUE(TfrmProfileType::Execute(type));
    EXPECT_EQ(type, 2);

    onModal([](QWidget* window) {
        EXPECT_TRUE(child<QRadioButton>(window, "rbGroup")->isChecked());
        child<QRadioButton>(window, "rbHash")->click();
        click(window, "bCancel");
    });
    EXPECT_FALSE(TfrmProfileType::Execute(type));
    EXPECT_EQ(type, 2);
}

TEST_F(HousekeepingDialogsTest, GroupEditorListsSortedMovesInRowOrderAndSavesOnOk) {
    for (const char* name : {"b", "A", "X"})
        addProfile(name, 1);
    addProfile("Other group", 2);
    addProfile("G", 2);
    group("G").WriteString("Name0", "b");
    onModal([](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Group Profile: G"));
        auto* available = child<QListWidget>(window, "lbProfiles");
        auto* members = child<QListWidget>(window, "lbGroup");
        EXPECT_EQ(rows(available), (QStringList{"A", "X"}));
        EXPECT_EQ(rows(members), (QStringList{"b"}));
        EXPECT_EQ(child<QLabel>(window, "lSchedule")->text(),
                  QStringLiteral("There is no schedule for this group profile"));
        available->item(1)->setSelected(true);
        available->item(0)->setSelected(true);
        click(window, "bToGroup");
        EXPECT_EQ(rows(members), (QStringList{"A", "b", "X"}));
        EXPECT_EQ(available->count(), 0);
        click(window, "bOK");
    });
    TSettings g = group("G");
    EXPECT_TRUE(TfrmGroupProfile::Execute(&root, &g));
    EXPECT_EQ(values("G"), (Names{"ProfileType=2", "Name0=A", "Name1=b", "Name2=X"}));

    onModal([](QWidget* window) {
        click(window, "bAllFromGroup");
        EXPECT_EQ(rows(child<QListWidget>(window, "lbProfiles")), (QStringList{"A", "b", "X"}));
        click(window, "bCancel");
    });
    EXPECT_FALSE(TfrmGroupProfile::Execute(&root, &g));
    EXPECT_EQ(values("G").size(), 4u);

    ASSERT_TRUE(create("Halcyra G", "\"G\""));
    onModal([](QWidget* window) {
        click(window, "bAllFromGroup");
        click(window, "bOK");
    });
    EXPECT_TRUE(TfrmGroupProfile::Execute(&root, &g));
    EXPECT_FALSE(root.SubKeyExists("G"));
    bool shared = false;
    EXPECT_FALSE(IsProfileScheduled("G", shared));
    EXPECT_TRUE(root.SubKeyExists("Other group"));
    EXPECT_FALSE(TfrmGroupProfile::Execute(nullptr, &g));
    EXPECT_FALSE(TfrmGroupProfile::Execute(&root, nullptr));
}

TEST_F(HousekeepingDialogsTest, GroupEditorScheduleButtonOpensTheScheduleAndRefreshesTheLabel) {
    addProfile("G", 2);
    group("G").WriteString("Name0", "A");
    ASSERT_TRUE(create("Halcyra G", "\"G\""));
    std::vector<std::string> opened;
    TfrmSchedule::editScheduleEntry() = [&opened](std::string_view profile, std::string_view extra) {
        opened.push_back(std::string(profile) + "|" + std::string(extra));
        DeleteTask("Halcyra G");
    };
    onModal([](QWidget* window) {
        auto* label = child<QLabel>(window, "lSchedule");
        EXPECT_FALSE(label->styleSheet().contains(QStringLiteral("red")));
        click(window, "bSchedule");
        EXPECT_EQ(label->text(), QStringLiteral("There is no schedule for this group profile"));
        EXPECT_TRUE(label->styleSheet().contains(QStringLiteral("red")));
        click(window, "bCancel");
    });
    TSettings g = group("G");
    EXPECT_FALSE(TfrmGroupProfile::Execute(&root, &g));
    EXPECT_EQ(opened, (Names{"G|"}));
}

TEST_F(HousekeepingDialogsTest, AboutWindowShowsTheTitleAndItsFixedLines) {
    onModal([](QWidget* window) {
        EXPECT_EQ(window->windowTitle(), QStringLiteral("About Halcyra v2.1.3"));
        auto* memo = child<QPlainTextEdit>(window, "Memo1");
        EXPECT_TRUE(memo->isReadOnly());
        EXPECT_TRUE(memo->toPlainText().startsWith(
            QStringLiteral("A simple program to detect file changes, calculate file hash values, check file "
                           "hash values, and \n"
                           "find duplicate files.\n\nSee the help file for more information.")));
        click(window, "BitBtn1");
    });
    TfrmAbout::showOver(nullptr);
}

TEST_F(HousekeepingDialogsTest, NewCommandDrivesTheDesktopDialogs) {
    addProfile("A", 1);
    onModal([](QWidget* window) {
        child<QRadioButton>(window, "rbGroup")->click();
        click(window, "BitBtn1");
        onModal([](QWidget* editor) {
            EXPECT_EQ(editor->windowTitle(), QStringLiteral("Group Profile: Team"));
            click(editor, "bAllToGroup");
            click(editor, "bOK");
        });
    });
    ui.queueText(std::string("Team"));
    ui.queueButton(ButtonNo);
    EXPECT_TRUE(desktopProfileCommands(root).newProfile());
    EXPECT_EQ(values("Team"), (Names{"Name0=A", "ProfileType=2"}));
    EXPECT_EQ(ui.requests().back().buttons, ButtonYes | ButtonNo);

    onModal([](QWidget* window) {
        click(window, "BitBtn1");
        onModal([](QWidget* editor) {
            EXPECT_NE(qobject_cast<TfrmProfileSetup*>(editor), nullptr);
            qobject_cast<QDialog*>(editor)->reject();
        });
    });
    ui.queueText(std::string("Solo"));
    EXPECT_TRUE(desktopProfileCommands(root).newProfile());
    EXPECT_FALSE(root.SubKeyExists("Solo"));
    EXPECT_FALSE(ui.scriptMismatch());
}

} // namespace
} // namespace halcyra
