#include "tools/DupeFiles.h"
#include "tools/HashedFiles.h"
#include "tools/SearchFiles.h"

#include "base/Paths.h"
#include "detection/TestSupport.h"
#include "gui/GuiTestSupport.h"
#include "hashing/Hashing.h"
#include "shell/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <fstream>
#include <unistd.h>

namespace halcyra {
namespace {

constexpr const char* AbcMD5 = "900150983CD24FB0D6963F7D28E17F72";
constexpr const char* AbdMD5 = "4911E516E5AA21D327512E0C8B197616";

class HashToolsGuiTest : public ::testing::Test {
protected:
    std::string folder() const { return m_tree.root().substr(0, m_tree.root().size() - 1); }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& request : m_scripted.ui.requests())
            out.push_back(request.text);
        return out;
    }
    static std::vector<std::string> cells(const HashToolWindow& window, int column) {
        std::vector<std::string> out;
        for (int r = 0; r < window.model().rowCount(); ++r)
            out.push_back(window.model().index(r, column).data().toString().toStdString());
        return out;
    }
    static void select(HashToolWindow& window, int row) {
        window.ListView->selectionModel()->select(window.model().index(row, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    test::ScopedScriptedUi m_scripted;
    ScriptedUiServices& m_ui = m_scripted.ui;
    test::TestTree m_tree{{"b.txt", "abc"}, {"a/c.txt", ""}};
};

TEST_F(HashToolsGuiTest, DirectoryPassListsRelativeNamesAndRecalculationUsesFullPaths) {
    TfrmHashedFiles window(2);
    EXPECT_EQ(window.windowTitle(), "MD5 Hash Values");
    EXPECT_EQ(window.model().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Filename");
    m_ui.queueText(folder());
    window.aDirectoryExecute();
    EXPECT_EQ(m_ui.requests().at(0).title, "Select a directory");
    EXPECT_EQ(window.BaseDir, m_tree.root());
    EXPECT_EQ(cells(window, 0), (std::vector<std::string>{"a/c.txt", "b.txt"}));
    EXPECT_EQ(cells(window, 1), (std::vector<std::string>{std::string(EmptyFileMD5), AbcMD5}));
    EXPECT_FALSE(window.aRecalc->isEnabled());

    std::ofstream(m_tree.path("b.txt")) << "abd";
    const std::string previous = currentFolder();
    ASSERT_EQ(chdir("/"), 0);
    select(window, 1);
    EXPECT_TRUE(window.aRecalc->isEnabled());
    window.aRecalcExecute();
    ASSERT_EQ(chdir(previous.c_str()), 0);
    EXPECT_EQ(cells(window, 1)[1], AbdMD5);
    EXPECT_EQ(window.selectedRows(), (RowIndexes{1})); // the rows stay, selected

    // Save, then compare the same rows with the saved list: nothing differs.
    m_ui.queueText(m_tree.path("saved.md5.txt"));
    window.aSaveToFileExecute();
    m_ui.queueText(m_tree.path("saved.md5.txt"));
    window.aCompareExecute();
    EXPECT_EQ(m_ui.requests().back().text, "No differences found.");
    EXPECT_EQ(m_ui.requests().back().buttons, ButtonOk);
    window.aClipboardExecute();
    EXPECT_EQ(m_ui.clipboardText(), ""); // Compare left the matching row deselected
}

TEST_F(HashToolsGuiTest, WhileBusyNothingButAbortActsAndClosingStopsThePass) {
    for (int i = 0; i < 5; ++i)
        m_tree.add({"f" + std::to_string(i), std::to_string(i)});
    TfrmHashedFiles window;
    window.show();
    window.Timer->stop();
    m_ui.queueText(folder());
    m_ui.queueButton(ButtonOk); // "Aborted!"
    bool checked = false;
    QTimer::singleShot(0, &window, [&] {
        checked = true;
        EXPECT_TRUE(window.busy());
        for (QAction* action : window.actions())
            EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
        EXPECT_TRUE(window.bAbort->isEnabled());
        EXPECT_FALSE(window.BitBtn2->isEnabled());
        window.model().rowCount() > 0 ? select(window, 0) : void();
        EXPECT_FALSE(window.aSelectAll->isEnabled()); // a selection change does not enable actions
        window.close(); // an abort request; the window closes when the pass has ended
        EXPECT_TRUE(window.isVisible());
    });
    window.aDirectoryExecute();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(window.isVisible());
    EXPECT_LT(window.model().rowCount(), 7);
    EXPECT_EQ(texts().back(), "Aborted!");
    EXPECT_TRUE(window.aDirectory->isEnabled());
}

TEST_F(HashToolsGuiTest, DuplicatesAreGroupedInColoursAndDeletingOneOfAPairDropsBoth) {
    for (const char* name : {"x1", "x2", "x3"})
        m_tree.add({name, "aaa"});
    for (const char* name : {"y1", "y2"})
        m_tree.add({name, "bb"});
    m_tree.add({"e2", ""});
    m_tree.symlink(m_tree.path("x1"), "xlink");
    TfrmDupeFiles window;
    EXPECT_EQ(window.windowTitle(), "Duplicate Files");
    m_ui.queueText(folder());
    window.aDirectoryExecute();
    // "bb" (21AD...) sorts before "aaa" (47BC...): lime first, then yellow; empty files and the link go.
    const std::vector<std::string> paths = cells(window, 1);
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[0], m_tree.path("y1"));
    EXPECT_EQ(window.model().index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
    EXPECT_EQ(window.model().index(4, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(255, 255, 0));
    EXPECT_TRUE(texts().size() == 1); // no note: duplicates were found

    select(window, 0);
    m_ui.queueButton(ButtonYes);
    window.aDeleteSelectedExecute();
    EXPECT_EQ(m_ui.requests().back().messageKind, MessageKind::Warning);
    EXPECT_EQ(access(m_tree.path("y1").c_str(), F_OK), -1);
    EXPECT_EQ(access(m_tree.path("y2").c_str(), F_OK), 0);
    EXPECT_EQ(cells(window, 1).size(), 3u); // y2 is now unique and leaves the list
    EXPECT_EQ(window.model().index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));

    m_ui.queueText(m_tree.path("x1")); // one chosen file is never a duplicate
    window.aFilesExecute();
    EXPECT_EQ(window.model().rowCount(), 0);
    EXPECT_EQ(texts().back(), "No duplicates found");
}

TEST_F(HashToolsGuiTest, DeletingServesEventsWhileBusyAndAbortStopsIt) {
    constexpr int Copies = 8;
    for (int i = 0; i < Copies; ++i)
        m_tree.add({"copy" + std::to_string(i), "aaa"});
    TfrmDupeFiles window;
    m_ui.queueText(folder());
    window.aDirectoryExecute();
    ASSERT_EQ(window.model().rowCount(), Copies);
    window.aSelectAllExecute();
    m_ui.queueButton(ButtonYes);
    m_ui.queueButton(ButtonOk); // "Aborted!"
    bool checked = false;
    QTimer::singleShot(0, &window, [&] {
        checked = true;
        EXPECT_TRUE(window.busy());
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        EXPECT_FALSE(window.ProgressBar->isHidden());
        EXPECT_EQ(window.ProgressBar->maximum(), Copies);
        EXPECT_FALSE(window.aDeleteSelected->isEnabled());
        EXPECT_TRUE(window.bAbort->isEnabled());
        window.bAbort->click();
    });
    window.aDeleteSelectedExecute();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(window.busy());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(texts().back(), "Aborted!");
    int left = 0;
    for (int i = 0; i < Copies; ++i)
        left += access(m_tree.path("copy" + std::to_string(i)).c_str(), F_OK) == 0;
    EXPECT_GT(left, 1); // stopped before the last files
    EXPECT_LT(left, Copies);
    EXPECT_EQ(window.model().rowCount(), left); // the files still there keep their rows, as a group
}

TEST_F(HashToolsGuiTest, SearchAsksTheValueBeforeHashingAndReportsAnEmptyResult) {
    TfrmSearchFiles window;
    m_ui.queueText(folder());
    m_ui.queueText(std::string(31, 'a'));
    window.aDirectoryExecute();
    EXPECT_EQ(texts().back(), "MD5 hash values contain exactly 32 characters of letters and numbers");

    m_ui.queueText(folder());
    m_ui.queueText("900150983cd24fb0d6963f7d28e17f72");
    window.aDirectoryExecute();
    EXPECT_EQ(m_ui.requests()[4].title, "Search using MD5 value");
    EXPECT_EQ(cells(window, 0), (std::vector<std::string>{"b.txt"}));
    EXPECT_EQ(cells(window, 1), (std::vector<std::string>{AbcMD5}));

    m_ui.queueText(folder());
    m_ui.queueText(std::string(32, '0'));
    window.aDirectoryExecute();
    EXPECT_EQ(window.model().rowCount(), 0);
    EXPECT_EQ(texts().back(), "No file was found with that MD5 value");
}

TEST_F(HashToolsGuiTest, MainWindowToolCommandsOpenTheirWindows) {
    TfrmMain main(std::vector<std::string>{});
    const std::pair<const char*, const char*> commands[] = {{"aMD5File", "MD5 Hash Values"},
                                                            {"aMD5Directory", "MD5 Hash Values"},
                                                            {"aDuplicates", "Duplicate Files"},
                                                            {"aSearch", "File Search"}};
    for (const auto& [action, caption] : commands) {
        std::string shown;
        test::onModal([&shown](QWidget* modal) {
            shown = modal->windowTitle().toStdString();
            modal->close();
        });
        test::child<QAction>(&main, action)->trigger();
        EXPECT_EQ(shown, caption) << action;
    }
}

} // namespace
} // namespace halcyra
