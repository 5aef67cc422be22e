#pragma once

#include "tools/HashToolWindow.h"

namespace halcyra {

// The MD5 search: asks for an MD5 value and lists the chosen files, or the files of a folder tree, whose
// MD5 value equals it, in name order.
class TfrmSearchFiles : public HashToolWindow {
    Q_OBJECT

public:
    // Opens the window modally (it starts with the folder picker) and frees it when it closes.
    static void Execute();

    explicit TfrmSearchFiles(QWidget* parent = nullptr);

    QAction* aClearSelected = nullptr;

public slots:
    void aClearSelectedExecute();

protected:
    bool preparePass(const std::string* folder) override;
    void work(PassFile& file, std::string hash) override;
    void finishRows(bool aborted) override;
    void afterPass() override;

private:
    std::string m_value; // the value of the running pass, upper-case
};

} // namespace halcyra
