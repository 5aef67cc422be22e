#pragma once

#include "../platform/TestHome.h"
#include "../scheduling/SchedulingTestSupport.h"

#include "platform/UiServices.h"
#include "settings/Settings.h"
#include "shell/ProfileCommands.h"

#include <string>
#include <vector>

namespace halcyra::test {

// A settings store and data folder in a temporary home, a scheduler on a fake crontab, scripted UI services
// and dialog entries that record each call as one line of text.
class HousekeepingTest : public SchedulerTest {
protected:
    std::string key(const std::string& name) const { return root.Key() + "\\" + name; }

    void addProfile(const std::string& name, std::int32_t type) {
        TSettings(key(name)).WriteInteger("ProfileType", type);
    }

    bool exists(const std::string& name) const { return root.SubKeyExists(name); }

    // A task of this program that runs the profiles named in `parameters`.
    void schedule(const std::string& taskName, const std::string& parameters) {
        ASSERT_TRUE(create(taskName, parameters));
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> texts;
        for (const auto& request : ui.requests())
            if (request.kind == ScriptedUiServices::RequestKind::MessageBox)
                texts.push_back(request.text);
        return texts;
    }

    std::vector<std::string> openedDocuments() const {
        std::vector<std::string> documents;
        for (const auto& request : ui.requests())
            if (request.kind == ScriptedUiServices::RequestKind::OpenDocument)
                documents.push_back(request.text);
        return documents;
    }

    // Entries that record their calls in `calls`; the dialogs answer with the given results.
    ProfileEntries recordingEntries() {
        ProfileEntries entries;
        entries.chooseProfileType = [this](std::uint8_t& type) {
            calls.push_back("type " + std::to_string(type));
            type = chosenType;
            return typeConfirmed;
        };
        entries.editOrdinaryProfile = [this](bool isNew, std::uint8_t type, TSettings& settings) {
            calls.push_back(std::string(isNew ? "new" : "modify") + " ordinary " + std::to_string(type) +
                            " " + settings.KeyName());
            if (duringEdit)
                duringEdit(settings);
            return editConfirmed;
        };
        entries.editGroupProfile = [this](TSettings& rootSettings, TSettings& group) {
            calls.push_back("group " + group.KeyName() +
                            (rootSettings.Key() == root.Key() ? "" : " wrong root"));
            if (duringEdit)
                duringEdit(group);
            return editConfirmed;
        };
        entries.editSchedule = [this](std::string_view profile, std::string_view extra) {
            calls.push_back("schedule " + std::string(profile) + "|" + std::string(extra));
        };
        entries.runProfile = [this](TSettings& settings, bool unattended) {
            calls.push_back("run " + settings.KeyName() + (unattended ? " unattended" : ""));
        };
        return entries;
    }

    ProfileCommands commands() { return ProfileCommands(root, ui, recordingEntries()); }

    testing::TestHome home;
    TSettings root{SettingsRootKey};
    ScriptedUiServices ui;
    std::vector<std::string> calls;
    std::uint8_t chosenType = 1;
    bool typeConfirmed = true;
    bool editConfirmed = true;
    std::function<void(TSettings&)> duringEdit;
};

} // namespace halcyra::test
