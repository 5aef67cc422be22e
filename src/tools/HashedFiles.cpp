#include "tools/HashedFiles.h"

#include "base/Paths.h"
#include "platform/BusyCursor.h"
#include "platform/HeadlessUiServices.h"
#include "platform/MessageBoxes.h"
#include "tools/Md5List.h"

#include <QAction>

#include <optional>

namespace halcyra {

void TfrmHashedFiles::Execute(std::uint8_t AutoStart) {
    TfrmHashedFiles window(AutoStart);
    window.exec();
}

TfrmHashedFiles::TfrmHashedFiles(std::uint8_t autoStart, QWidget* parent)
    : HashToolWindow({"frmHashedFiles",
                      "MD5 Hash Values",
                      "Hash",
                      {HashToolModel::Column::Name, HashToolModel::Column::Hash},
                      {"Filename", "MD5 Hash Value"}},
                     parent),
      AutoStart(autoStart) {
    aClearSelected = makeAction("aClearSelected", "Clear selected", QKeySequence(Qt::Key_Delete));
    aClipboard = makeAction("aClipboard", "Copy selected hash values to clipboard",
                            QKeySequence(Qt::CTRL | Qt::Key_C));
    aSaveToFile =
        makeAction("aSaveToFile", "Save selected hash values to disk", QKeySequence(Qt::CTRL | Qt::Key_D));
    aRecalc =
        makeAction("aRecalc", "Recalcute hash value for selected files", QKeySequence(Qt::CTRL | Qt::Key_R));
    aCompare = makeAction("aCompare", "Compare selected files to a file of MD5 values",
                          QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(aClearSelected, &QAction::triggered, this, &TfrmHashedFiles::aClearSelectedExecute);
    connect(aClipboard, &QAction::triggered, this, &TfrmHashedFiles::aClipboardExecute);
    connect(aSaveToFile, &QAction::triggered, this, &TfrmHashedFiles::aSaveToFileExecute);
    connect(aRecalc, &QAction::triggered, this, &TfrmHashedFiles::aRecalcExecute);
    connect(aCompare, &QAction::triggered, this, &TfrmHashedFiles::aCompareExecute);
    finishMenus({aClearSelected}, {aClipboard, aSaveToFile, aRecalc, aCompare},
                {aClearSelected, aClipboard, aSaveToFile, aRecalc, aCompare});
}

void TfrmHashedFiles::startAction() {
    const std::uint8_t start = AutoStart;
    AutoStart = 0;
    if (start == 1)
        aFiles->trigger();
    else if (start == 2)
        aDirectory->trigger();
}

bool TfrmHashedFiles::preparePass(const std::string* folder) {
    BaseDir = folder != nullptr ? withTrailingSlash(*folder) : std::string();
    return true;
}

void TfrmHashedFiles::work(PassFile& file, std::string hash) {
    rows().append({std::move(file.path), file.nameAt, std::move(hash), false});
}

void TfrmHashedFiles::finishRows(bool) {
    rows().reset([](ToolRows& list) { sortRowsByName(list); });
}

void TfrmHashedFiles::aClearSelectedExecute() {
    removeSelectedRows();
}

void TfrmHashedFiles::aClipboardExecute() {
    const RowIndexes selected = selectedRows();
    if (busy() || selected.empty())
        return;
    ui().setClipboardText(clipboardText(model().rows(), selected));
}

void TfrmHashedFiles::aSaveToFileExecute() {
    const RowIndexes selected = selectedRows();
    if (busy() || selected.empty())
        return;
    FileDialogRequest request;
    request.title = "Filename to save hash values to";
    request.filter = "MD5 files (*.md5.txt);;Text files (*.txt);;All files (*)";
    request.defaultSuffix = "md5.txt";
    const std::optional<std::string> fileName = ui().saveFileName(request);
    if (!fileName)
        return;
    std::string errorText;
    if (!saveMd5List(*fileName, model().rows(), selected, errorText))
        showError(ui(), errorText);
}

void TfrmHashedFiles::aRecalcExecute() {
    const RowIndexes selected = selectedRows();
    if (busy() || selected.empty())
        return;
    BeginBusy(static_cast<int>(selected.size()), false);
    rows().update([&](ToolRows& list) { recalculateRows(list, selected, *this); });
    EndBusy(false);
    closeIfRequested();
}

void TfrmHashedFiles::aCompareExecute() {
    const RowIndexes selected = selectedRows();
    if (busy() || selected.empty())
        return;
    const std::optional<std::string> fileName = ui().openFileName(openDialog());
    if (!fileName)
        return;
    Md5List list;
    std::string errorText;
    if (!list.load(*fileName, errorText)) {
        showError(ui(), errorText);
        return;
    }
    std::optional<BusyCursor> busyCursor(std::in_place);
    const CompareOutcome outcome =
        compareRows(model().rows(), selected, list, [this, &busyCursor](const std::string& text) {
            busyCursor.reset(); // the question gets the ordinary pointer
            const bool more = askErrorYesNo(ui(), text);
            busyCursor.emplace();
            return more;
        });
    busyCursor.reset();
    selectRows(outcome.highlighted);
    UpdateActions();
    const std::string summary = compareSummary(outcome);
    if (!summary.empty())
        showInformation(ui(), summary);
    else
        showConfirmation(ui(), NoDifferencesText);
}

} // namespace halcyra
