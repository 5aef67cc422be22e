#include "tools/DupeFiles.h"

#include "hashing/Hashing.h"
#include "platform/MessageBoxes.h"

#include <QAction>

namespace halcyra {

void TfrmDupeFiles::Execute() {
    TfrmDupeFiles window;
    window.exec();
}

TfrmDupeFiles::TfrmDupeFiles(QWidget* parent)
    : HashToolWindow({"frmDupeFiles",
                      "Duplicate Files",
                      "Scan",
                      {HashToolModel::Column::Hash, HashToolModel::Column::Name},
                      {"MD5 Hash Value", "Filename"},
                      true},
                     parent) {
    aDeleteSelected = makeAction("aDeleteSelected", "Delete selected", QKeySequence(Qt::Key_Delete));
    connect(aDeleteSelected, &QAction::triggered, this, &TfrmDupeFiles::aDeleteSelectedExecute);
    finishMenus({aDeleteSelected}, {}, {aDeleteSelected});
}

bool TfrmDupeFiles::preparePass(const std::string*) {
    m_identities = {};
    return true;
}

bool TfrmDupeFiles::skip(const PassFile& file) {
    return m_identities.seenBefore(file.path);
}

void TfrmDupeFiles::work(PassFile& file, std::string hash) {
    rows().append({std::move(file.path), 0, std::move(hash), false});
}

void TfrmDupeFiles::finishRows(bool) {
    m_identities = {};
    rows().reset([](ToolRows& list) {
        sortRowsByHash(list);
        GroupDuplicates(list);
    });
}

void TfrmDupeFiles::afterPass() {
    if (model().rows().empty())
        showInformation(ui(), "No duplicates found");
}

void TfrmDupeFiles::aDeleteSelectedExecute() {
    const RowIndexes selected = selectedRows();
    if (busy() || selected.empty())
        return;
    const MessageButton answer = ui().messageBox(MessageKind::Warning, "Warning",
                                                 "The files you have selected will be deleted from your "
                                                 "computer permanently. Are you sure you want to "
                                                 "delete the selected files?",
                                                 ButtonYes | ButtonNo, ButtonNo);
    if (answer != ButtonYes)
        return;
    // Each file is checked by its hash before it goes: busy as a pass is, so that it can be stopped.
    BeginBusy(static_cast<int>(selected.size()), false);
    const std::vector<bool> remove = deleteSelectedFiles(
        model().rows(), selected, *this, [this](const std::string& text) { showError(ui(), text); });
    EndBusy(false);
    rows().reset([&remove](ToolRows& list) {
        removeRows(list, remove);
        GroupDuplicates(list);
    });
    UpdateActions();
    closeIfRequested();
}

} // namespace halcyra
