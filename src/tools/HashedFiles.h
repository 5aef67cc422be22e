#pragma once

#include "tools/HashToolWindow.h"

#include <cstdint>

namespace halcyra {

// The MD5 values window: every chosen file, or every file of a folder tree, with its MD5 value, in name
// order; the selected rows can be copied, saved to an MD5 list file, hashed again or compared with a
// list file.
class TfrmHashedFiles : public HashToolWindow {
    Q_OBJECT

public:
    // Opens the window modally and frees it when it closes; `AutoStart` 1 starts with the file picker,
    // 2 with the folder picker.
    static void Execute(std::uint8_t AutoStart);

    explicit TfrmHashedFiles(std::uint8_t autoStart = 0, QWidget* parent = nullptr);

    std::uint8_t AutoStart = 0;
    // The folder the shown names are relative to, with a trailing '/'; empty after a Files pass. Rows
    // keep their full paths, so nothing is opened relative to it.
    std::string BaseDir;

    QAction* aClearSelected = nullptr;
    QAction* aClipboard = nullptr;
    QAction* aSaveToFile = nullptr;
    QAction* aRecalc = nullptr;
    QAction* aCompare = nullptr;

public slots:
    void aClearSelectedExecute();
    void aClipboardExecute();
    void aSaveToFileExecute();
    void aRecalcExecute();
    void aCompareExecute();

protected:
    bool preparePass(const std::string* folder) override;
    void work(PassFile& file, std::string hash) override;
    void finishRows(bool aborted) override;
    void startAction() override;
};

} // namespace halcyra
