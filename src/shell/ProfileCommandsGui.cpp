#include "shell/ProfileCommandsGui.h"

#include "detection/RunProfile.h"
#include "platform/HeadlessUiServices.h"
#include "platform/UiServices.h"
#include "scheduling/ScheduleForm.h"
#include "shell/GroupProfile.h"
#include "shell/ProfileSetup.h"
#include "shell/ProfileType.h"

namespace halcyra {

ScheduleEditor desktopScheduleEditor() {
    return [](std::string_view profileName, std::string_view extraParams) {
        if (const auto& editSchedule = TfrmSchedule::editScheduleEntry())
            editSchedule(profileName, extraParams);
    };
}

ProfileEntries desktopProfileEntries() {
    ProfileEntries entries;
    entries.chooseProfileType = [](std::uint8_t& type) { return TfrmProfileType::Execute(type); };
    entries.editOrdinaryProfile = [](bool isNew, std::uint8_t type, TSettings& settings) {
        return TfrmProfileSetup::Execute(isNew, type, &settings);
    };
    entries.editGroupProfile = [](TSettings& root, TSettings& group) {
        return TfrmGroupProfile::Execute(&root, &group);
    };
    entries.editSchedule = desktopScheduleEditor();
    entries.runProfile = [](TSettings& settings, bool unattended) {
        TfrmRunProfile::RunProfile(settings, unattended);
    };
    return entries;
}

ProfileCommands desktopProfileCommands(TSettings& root) {
    return ProfileCommands(root, activeUiServices(), desktopProfileEntries());
}

} // namespace halcyra
