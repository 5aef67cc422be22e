#include "detection/ResultsDisplay.h"
#include "detection/DifferencesReview.h"
#include "gui/GuiTestSupport.h"
#include "platform/HeadlessUiServices.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace halcyra {
namespace {

using test::child;
using Keys = std::vector<std::string>;

std::string numbered(int i) {
    return "/f" + std::to_string(100000 + i) + ".txt";
}

// A changed file, or a new one.
void add(CompareList& list, const std::string& key, bool isNew = false, bool excluded = false) {
    TFileCompare& entry = list[key];
    if (!isNew)
        entry.Old = std::make_unique<TFileDetails>(TFileDetails{1, "AA", 0});
    entry.New = std::make_unique<TFileDetails>(TFileDetails{2, "AA", 0});
    entry.Excluded = excluded;
    entry.Status = isNew ? 8 : 1;
}

class DifferencesDialog : public ::testing::Test {
protected:
    void open() {
        m_form = std::make_unique<TfrmDifferences>();
        m_form->setLists(&m_list, &m_exclusions);
        m_form->show();
    }
    template <class T = QWidget> T* get(const char* name) const { return child<T>(m_form.get(), name); }
    QTableView* view() const { return get<QTableView>("lbDiff"); }
    Keys shownKeys() const {
        Keys keys;
        for (int row = 0; row < view()->model()->rowCount(); ++row)
            keys.push_back(view()->model()->index(row, ColFilename).data().toString().toStdString());
        return keys;
    }
    void selectRow(int row) const {
        view()->clearSelection();
        view()->selectRow(row);
    }

    test::ScopedScriptedUi m_ui;
    CompareList m_list;
    KeySet m_exclusions;
    std::unique_ptr<TfrmDifferences> m_form;
};

TEST_F(DifferencesDialog, OpensScreenWideOnAllChangesWhenOnlyExcludedFilesChanged) {
    const std::string markup = "/<b>a</b> & a very long name of a file that needs a wide first column.txt";
    add(m_list, markup, false, true);
    open();
    EXPECT_EQ(m_form->frameGeometry().width(), m_form->screen()->availableGeometry().width());
    EXPECT_EQ(get<QTabBar>("TabControl")->currentIndex(), 1);
    EXPECT_EQ(m_form->focusWidget(), get("bSave"));
    EXPECT_EQ(shownKeys(), Keys{markup}); // shown as it is, not as markup
    const QString name = QString::fromStdString(markup);
    EXPECT_EQ(view()->horizontalHeader()->sectionSize(ColFilename),
              view()->fontMetrics().horizontalAdvance(name) + 20);
    // An empty column keeps its minimum, but no header is cut, however narrow its column's design width.
    const QHeaderView* header = view()->horizontalHeader();
    EXPECT_EQ(header->sectionSize(ColCurrentDate), std::max(90, header->sectionSizeHint(ColCurrentDate)));
    for (int column = 0; column < DifferenceColumnCount; ++column) {
        const QString caption = view()->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(column), header->fontMetrics().horizontalAdvance(caption) + 8)
            << caption.toStdString();
    }
}

TEST_F(DifferencesDialog, PageEditPutsBackTheLastValidPage) {
    for (int i = 0; i < 501; ++i)
        add(m_list, numbered(i));
    open();
    auto* page = get<QLineEdit>("ePage");
    auto* upDown = get<PageUpDown>("UpDown");
    EXPECT_EQ(get<QLabel>("lPages")->text(), QStringLiteral("3 page(s)"));
    page->setText(QStringLiteral("2"));
    EXPECT_EQ(shownKeys().front(), numbered(250));
    for (const char* bad : {"0", "abc", "4", "", "-1", "2.0", " 2", "99999999999999999999"}) {
        page->setText(QString::fromLatin1(bad));
        EXPECT_EQ(page->text(), QStringLiteral("2")) << bad;
        EXPECT_EQ(shownKeys().front(), numbered(250)) << bad;
    }
    upDown->step(1);
    EXPECT_EQ(shownKeys(), Keys{numbered(500)});
    upDown->step(1); // already the last page
    EXPECT_EQ(page->text(), QStringLiteral("3"));
}

TEST_F(DifferencesDialog, MenuAndShortCutsMoveFilesBetweenTabs) {
    add(m_list, "/a.txt");
    add(m_list, "/b.txt", true);
    open();
    selectRow(1);
    m_form->pMenuPopup();
    EXPECT_TRUE(get<QAction>("mExclude")->isEnabled());
    EXPECT_FALSE(get<QAction>("mInclude")->isEnabled());
    get<QAction>("mExclude")->trigger();
    EXPECT_EQ(m_exclusions, KeySet{"/b.txt"});
    EXPECT_EQ(shownKeys(), Keys{"/a.txt"});
    get<QTabBar>("TabControl")->setCurrentIndex(2);
    EXPECT_EQ(shownKeys(), Keys{"/b.txt"});
    // Without opening the menu first.
    selectRow(0);
    QTest::keyClick(view(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_TRUE(m_exclusions.empty() && shownKeys().empty() && m_form->ExclusionsChanged());

    get<QTabBar>("TabControl")->setCurrentIndex(0);
    get<QAction>("mNotInSource")->trigger();
    EXPECT_EQ(get<QLabel>("lFilter")->text(), QStringLiteral("New files hidden."));
    EXPECT_EQ(shownKeys(), Keys{"/a.txt"});
}

TEST_F(DifferencesDialog, HeaderClickSortsAndDoubleClickShowsTheFirstSelectedRow) {
    add(m_list, "/a.txt");
    add(m_list, "/b.txt", true);
    open();
    emit view()->horizontalHeader()->sectionClicked(ColSummary); // "Created" before "File size."
    EXPECT_EQ(shownKeys(), (Keys{"/b.txt", "/a.txt"}));
    view()->selectAll();
    emit view()->doubleClicked(view()->model()->index(1, 0));
    ASSERT_EQ(m_ui.ui.requests().size(), 1u);
    EXPECT_EQ(m_ui.ui.requests()[0].messageKind, MessageKind::Information);
    EXPECT_EQ(m_ui.ui.requests()[0].buttons, ButtonOk);
    EXPECT_EQ(m_ui.ui.requests()[0].text.substr(0, 9), "/b.txt\n\nN");
}

TEST_F(DifferencesDialog, CancelAsksAndEscapeDoesNothing) {
    add(m_list, "/a.txt");
    open();
    QTest::keyClick(m_form.get(), Qt::Key_Escape);
    EXPECT_TRUE(m_form->isVisible() && m_ui.ui.requests().empty());
    m_ui.ui.queueButton(ButtonNo);
    get<QPushButton>("bCancel")->click();
    EXPECT_TRUE(m_form->isVisible());
    ASSERT_EQ(m_ui.ui.requests().size(), 1u);
    EXPECT_EQ(
        m_ui.ui.requests()[0].text,
        "If you do not save the results then the next scan will again indicate that these files have been "
        "changed. Are you sure you want to cancel without saving the scan results?");
    EXPECT_EQ(m_ui.ui.requests()[0].buttons, ButtonYes | ButtonNo);
    m_ui.ui.queueButton(ButtonYes);
    m_form->close();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_EQ(m_form->result(), QDialog::Rejected);
}

// A tab click that arrives while a page is being filled is carried out after that fill.
TEST_F(DifferencesDialog, TabChangeDuringAFillIsCarriedOutAfterIt) {
    Keys excluded;
    for (int i = 0; i < 300; ++i) {
        add(m_list, numbered(i), false, i % 3 == 0);
        if (i % 3 == 0)
            excluded.push_back(numbered(i));
    }
    open();
    QTimer::singleShot(0, m_form.get(), [this] { get<QTabBar>("TabControl")->setCurrentIndex(2); });
    get<QTabBar>("TabControl")->setCurrentIndex(1); // its fill lets the timer in
    EXPECT_EQ(shownKeys(), excluded);
}

TEST(ShowDifferences, ReturnsWhetherSavedAndTheEditedExclusions) {
    test::ScopedScriptedUi scripted;
    CompareList list;
    add(list, "/a.txt");
    KeySet exclusions;
    bool changed = false;
    test::onModal([](QWidget* modal) {
        child<QTableView>(modal, "lbDiff")->selectRow(0);
        QTest::keyClick(modal, Qt::Key_E, Qt::ControlModifier);
        child<QPushButton>(modal, "bSave")->click();
    });
    EXPECT_TRUE(TfrmDifferences::ShowDifferences(list, exclusions, changed));
    EXPECT_TRUE(changed && list["/a.txt"].Excluded);
    EXPECT_EQ(exclusions, KeySet{"/a.txt"});

    scripted.ui.queueButton(ButtonYes);
    test::onModal([](QWidget* modal) { child<QPushButton>(modal, "bCancel")->click(); });
    EXPECT_FALSE(TfrmDifferences::ShowDifferences(list, exclusions, changed));
    EXPECT_FALSE(changed);
}

TEST(ShowDifferences, HeadlessEntryAnswersCancelledAndSaysSo) {
    installDifferencesDialog();
    setHeadlessSession(true);
    CompareList list;
    add(list, "/a.txt");
    KeySet exclusions;
    bool changed = true;
    testing::internal::CaptureStderr();
    const bool saved = showDifferencesEntry()(list, exclusions, changed);
    const std::string errors = testing::internal::GetCapturedStderr();
    setHeadlessSession(false);
    showDifferencesEntry() = nullptr;
    EXPECT_FALSE(saved || changed);
    EXPECT_NE(errors.find("differences review was not shown"), std::string::npos) << errors;
}

} // namespace
} // namespace halcyra
