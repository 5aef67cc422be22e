#pragma once

#include "tools/HashToolWindow.h"

namespace halcyra {

// The duplicate finder: hashes the chosen files or a folder tree and keeps the files whose MD5 value
// another file shares, each group in its own colour (lime, yellow, lime ...); selected files can be
// deleted from disk.
class TfrmDupeFiles : public HashToolWindow {
    Q_OBJECT

public:
    // Opens the window modally (it starts with the folder picker) and frees it when it closes.
    static void Execute();

    explicit TfrmDupeFiles(QWidget* parent = nullptr);

    QAction* aDeleteSelected = nullptr;

public slots:
    void aDeleteSelectedExecute();

protected:
    bool preparePass(const std::string* folder) override;
    bool skip(const PassFile& file) override;
    void work(PassFile& file, std::string hash) override;
    void finishRows(bool aborted) override;
    void afterPass() override;

private:
    FileIdentities m_identities; // of the files of the running pass
};

} // namespace halcyra
