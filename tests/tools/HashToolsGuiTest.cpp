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
#include <QLabel>
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
    EXPECT_FALSE(window.model().headerData(2, Qt::Horizontal, Qt::DisplayRole).isValid());
    m_ui.queueText(folder());
    window.aDirectoryExecute();
    EXPECT_EQ(m_ui.requests().at(0).title, "Select a directory");
    EXPECT_EQ(window.BaseDir, m_tree.root());
    EXPECT_EQ(cells(window, 0), (std::vector<std::string>{"a/c.txt", "b.txt"}));
    EXPECT_EQ(cells(window, 1), (std::vector<std::string>{std::string(EmptyFileMD5), AbcMD5}));
    EXPECT_FALSE(window.model().index(0, 0).data(Qt::BackgroundRole).isValid()); // no group colours
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

    // A failed save or list read says why and ends there: nothing is compared with an empty list.
    select(window, 0);
    select(window, 1);
    window.ListViewDblClick(); // the first selected row
    EXPECT_EQ(m_ui.requests().back().title + m_ui.requests().back().initial,
              "a/c.txt" + std::string(EmptyFileMD5));
    const std::size_t asked = m_ui.requests().size();
    m_ui.queueText(m_tree.path("missing/saved.md5.txt"));
    window.aSaveToFileExecute();
    m_ui.queueText(m_tree.path("missing.md5.txt"));
    window.aCompareExecute();
    ASSERT_EQ(m_ui.requests().size(), asked + 4);
    EXPECT_EQ(m_ui.requests()[asked + 1].messageKind, MessageKind::Error);
    EXPECT_EQ(texts()[asked + 1].rfind("Error writing to file: ", 0), 0u);
    EXPECT_EQ(m_ui.requests()[asked + 3].messageKind, MessageKind::Error);
    EXPECT_EQ(texts()[asked + 3].rfind("Error reading from file: ", 0), 0u);
    EXPECT_EQ(window.selectedRows(), (RowIndexes{0, 1}));

    window.aFilesExecute(); // cancelled: the rows stay
    EXPECT_EQ(window.model().rowCount(), 2);
    m_ui.queueText(m_tree.path("a/c.txt") + "\n" + m_tree.path("b.txt"));
    window.aFilesExecute();
    EXPECT_EQ(window.BaseDir, "");
    EXPECT_EQ(cells(window, 0), (std::vector<std::string>{"b.txt", "c.txt"}));
}

TEST_F(HashToolsGuiTest, WhileBusyNothingButAbortActsAndClosingStopsThePass) {
    for (int i = 0; i < 5; ++i)
        m_tree.add({"f" + std::to_string(i), std::to_string(i)});
    TfrmHashedFiles window;
    window.show();
    window.close();
    EXPECT_FALSE(window.Timer->isActive()); // closing stops the start timer
    window.show();
    m_ui.queueText(folder());
    window.aDirectoryExecute(); // the rows that the next pass keeps while it lists the folder
    ASSERT_EQ(window.model().rowCount(), 7);
    window.aSelectAllExecute();
    EXPECT_FALSE(window.aSelectAll->isEnabled()); // every row selected
    select(window, 0);
    window.ListView->selectionModel()->select(window.model().index(1, 0), QItemSelectionModel::Deselect);
    EXPECT_TRUE(window.aSelectAll->isEnabled());
    window.ListView->clearSelection();
    m_ui.queueText(folder());
    m_ui.queueButton(ButtonOk); // "Aborted!"
    bool checked = false;
    QTimer::singleShot(0, &window, [&] { // served first while the folder is listed
        checked = true;
        EXPECT_TRUE(window.busy());
        for (QAction* action : window.actions())
            EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
        EXPECT_TRUE(window.bAbort->isEnabled());
        EXPECT_FALSE(window.BitBtn2->isEnabled() || window.bOK->isEnabled());
        EXPECT_EQ(window.ProgressBar->maximum(), 1); // while the folder is listed
        select(window, 0);
        EXPECT_FALSE(window.aSelectAll->isEnabled()); // a selection change does not enable actions
        QTest::keyClick(window.ListView, Qt::Key_A, Qt::ControlModifier); // nor does the view act
        EXPECT_EQ(window.selectedRows(), (RowIndexes{0}));
        window.close(); // an abort request; the window closes when the pass has ended
        EXPECT_TRUE(window.isVisible());
    });
    window.aDirectoryExecute();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.model().rowCount(), 7); // stopped while listing: the rows stay
    EXPECT_EQ(texts().back(), "Aborted!");
    EXPECT_TRUE(window.ListView->updatesEnabled() && window.bOK->isEnabled() && !window.bAbort->isEnabled());
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
    EXPECT_EQ(window.model().index(4, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::black));
    EXPECT_TRUE(texts().size() == 1); // no note: duplicates were found

    select(window, 0);
    m_ui.queueButton(ButtonNo);
    window.aDeleteSelectedExecute();
    EXPECT_EQ(m_ui.requests().back().messageKind, MessageKind::Warning);
    EXPECT_EQ(m_ui.requests().back().buttons, ButtonYes | ButtonNo);
    EXPECT_EQ(m_ui.requests().back().defaultButton, ButtonNo); // Enter keeps the files
    EXPECT_EQ(cells(window, 1), paths);
    m_ui.queueButton(ButtonYes);
    window.aDeleteSelectedExecute();
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
    window.show();
    window.Timer->stop();
    m_ui.queueText(folder());
    m_ui.queueText(std::string(31, 'a'));
    window.aDirectoryExecute();
    EXPECT_EQ(texts().back(), "MD5 hash values contain exactly 32 characters of letters and numbers");

    m_tree.add({"a/abc", "abc"});
    m_ui.queueText(m_tree.path("b.txt") + "\n" + m_tree.path("a/c.txt") + "\n" + m_tree.path("a/abc"));
    m_ui.queueText("900150983cd24fb0d6963f7d28e17f72");
    window.aFilesExecute();
    EXPECT_EQ(m_ui.requests()[4].title, "Search using MD5 value"); // after the files are chosen
    EXPECT_EQ(cells(window, 0), (std::vector<std::string>{"abc", "b.txt"}));
    EXPECT_EQ(cells(window, 1), (std::vector<std::string>{AbcMD5, AbcMD5}));

    m_ui.queueText(folder());
    m_ui.queueText(std::string(32, '0'));
    window.aDirectoryExecute();
    EXPECT_EQ(window.model().rowCount(), 0);
    EXPECT_EQ(texts().back(), "No file was found with that MD5 value");

    m_ui.queueText(folder());
    m_ui.queueText(std::string(32, '0'));
    QTimer::singleShot(0, &window, [&] { QTest::keyClick(&window, Qt::Key_Escape); }); // stop, then close
    window.aDirectoryExecute();
    EXPECT_EQ(texts().back(), "Aborted!");
    EXPECT_FALSE(window.isVisible());
}

TEST_F(HashToolsGuiTest, MainWindowToolCommandsOpenTheirWindowsAndAskTheirFirstQuestion) {
    using Kind = ScriptedUiServices::RequestKind;
    struct Command {
        const char* action;
        const char* caption;
        int autoStart; // -1: not the MD5 values window
        Kind first;
        const char* title;
    };
    const Command commands[] = {
        {"aMD5File", "MD5 Hash Values", 1, Kind::OpenFile, "Calculate MD5 hash value"},
        {"aMD5Directory", "MD5 Hash Values", 2, Kind::PickFolder, "Select a directory"},
        {"aDuplicates", "Duplicate Files", -1, Kind::PickFolder, "Select a directory"},
        {"aSearch", "File Search", -1, Kind::PickFolder, "Select a directory"}};
    TfrmMain main(std::vector<std::string>{});
    for (const Command& command : commands) {
        const std::size_t before = m_ui.requests().size();
        m_ui.queueText(std::nullopt); // the first dialog is cancelled: the window stays, empty
        test::onModal([&](QWidget* modal) {
            auto* window = qobject_cast<HashToolWindow*>(modal);
            ASSERT_NE(window, nullptr);
            const auto* hashed = qobject_cast<TfrmHashedFiles*>(modal);
            const auto autoStart = [hashed] { return hashed != nullptr ? int{hashed->AutoStart} : -1; };
            EXPECT_EQ(window->windowTitle().toStdString(), command.caption);
            EXPECT_EQ(autoStart(), command.autoStart);
            EXPECT_EQ(window->size(), QSize(634, 453));
            EXPECT_EQ(window->minimumSize(), QSize(450, 171));
            EXPECT_EQ(window->lFilename->width(), 209);
            EXPECT_FALSE(window->bAbort->isEnabled() || window->aSelectAll->isEnabled()); // empty and idle
            EXPECT_TRUE(window->Timer->isActive() && window->Timer->isSingleShot());
            EXPECT_EQ(window->Timer->interval(), 500);
            EXPECT_EQ(m_ui.requests().size(), before); // nothing is asked before the timer fires
            window->Timer->start(0);
            EXPECT_TRUE(QTest::qWaitFor([&] { return m_ui.requests().size() > before; }));
            EXPECT_TRUE(window->isVisible() && !window->Timer->isActive());
            EXPECT_EQ(autoStart(), std::min(command.autoStart, 0));
            modal->close();
        });
        test::child<QAction>(&main, command.action)->trigger();
        ASSERT_EQ(m_ui.requests().size(), before + 1) << command.action;
        EXPECT_EQ(m_ui.requests()[before].kind, command.first) << command.action;
        EXPECT_EQ(m_ui.requests()[before].title, command.title) << command.action;
    }
}

} // namespace
} // namespace halcyra
