#include "tools/SearchFiles.h"

#include "platform/MessageBoxes.h"

#include <QAction>

namespace halcyra {

void TfrmSearchFiles::Execute() {
    TfrmSearchFiles window;
    window.exec();
}

TfrmSearchFiles::TfrmSearchFiles(QWidget* parent)
    : HashToolWindow({"frmSearchFiles",
                      "File Search",
                      "Search",
                      {HashToolModel::Column::Name, HashToolModel::Column::Hash},
                      {"Filename", "MD5 Hash Value"}},
                     parent) {
    aClearSelected = makeAction("aClearSelected", "Clear selected", QKeySequence(Qt::Key_Delete));
    connect(aClearSelected, &QAction::triggered, this, &TfrmSearchFiles::aClearSelectedExecute);
    finishMenus({aClearSelected}, {}, {aClearSelected});
}

bool TfrmSearchFiles::preparePass(const std::string*) {
    const std::optional<std::string> typed = ui().inputText("Search using MD5 value", "MD5", "");
    if (!typed)
        return false;
    const std::optional<std::string> value = searchValue(*typed);
    if (!value) {
        showError(ui(), SearchValueLengthText);
        return false;
    }
    m_value = *value;
    return true;
}

void TfrmSearchFiles::work(PassFile& file, std::string hash) {
    if (hash == m_value)
        rows().append({std::move(file.path), file.nameAt, std::move(hash), false});
}

void TfrmSearchFiles::finishRows(bool) {
    rows().reset([](ToolRows& list) { sortRowsByName(list); });
}

void TfrmSearchFiles::afterPass() {
    if (model().rows().empty())
        showInformation(ui(), "No file was found with that MD5 value");
}

void TfrmSearchFiles::aClearSelectedExecute() {
    removeSelectedRows();
}

} // namespace halcyra
