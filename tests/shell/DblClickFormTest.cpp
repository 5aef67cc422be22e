#include "shell/DblClickForm.h"

#include "gui/GuiTestSupport.h"
#include "platform/HeadlessUiServices.h"

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace halcyra {
namespace {

QRadioButton* item(QWidget* window, int index) {
    return test::child<QRadioButton>(window,
                                     QStringLiteral("RadioGroupItem%1").arg(index).toLatin1().constData());
}

TEST(DblClickChoice, ItemsCaptionsAndTwoColumns) {
    TfrmDblClick window;
    EXPECT_EQ(window.windowTitle(), "What to do on double-click...");
    EXPECT_EQ(window.RadioGroup->title(), "When I double-click an item on the list I want to:");
    const QStringList texts{"Do nothing", "Run the profile", "Modify the profile", "Schedule the profile",
                            "View the log"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(item(&window, i)->text(), texts[i]);
    window.show();
    EXPECT_LT(item(&window, 2)->x(), item(&window, 3)->x()); // the second column begins with item 3
    EXPECT_EQ(item(&window, 0)->x(), item(&window, 2)->x());
    EXPECT_EQ(window.BitBtn1->text(), "OK");
    EXPECT_EQ(window.BitBtn2->text(), "Cancel");
    window.setItemIndex(4);
    EXPECT_EQ(window.ItemIndex(), 4);
    window.setItemIndex(7);
    EXPECT_EQ(window.ItemIndex(), -1);
}

TEST(DblClickChoice, OpensOnTheActionAndCancelLeavesIt) {
    std::uint8_t action = 3;
    QString shownSelected;
    test::onModal([&](QWidget* modal) {
        for (QRadioButton* button : modal->findChildren<QRadioButton*>())
            if (button->isChecked())
                shownSelected = button->text();
        item(modal, 1)->click();
        test::child<QPushButton>(modal, "BitBtn2")->click();
    });
    EXPECT_FALSE(TfrmDblClick::Execute(action));
    EXPECT_EQ(shownSelected, "Schedule the profile");
    EXPECT_EQ(action, 3);
}

TEST(DblClickChoice, OkGivesTheSelectedItemAndNothingWhenNoneIs) {
    std::uint8_t action = 0;
    test::onModal([&](QWidget* modal) {
        item(modal, 4)->click();
        QTest::keyClick(modal, Qt::Key_Return); // OK is the default button
    });
    EXPECT_TRUE(TfrmDblClick::Execute(action));
    EXPECT_EQ(action, 4);

    action = 9; // no item
    test::onModal([&](QWidget* modal) { test::child<QPushButton>(modal, "BitBtn1")->click(); });
    EXPECT_FALSE(TfrmDblClick::Execute(action));
    EXPECT_EQ(action, 9);
}

TEST(DblClickChoice, NotShownWithoutADisplay) {
    setHeadlessSession(true);
    std::uint8_t action = 2;
    EXPECT_FALSE(TfrmDblClick::Execute(action)); // would hang here if it were shown
    setHeadlessSession(false);
    EXPECT_EQ(action, 2);
}

} // namespace
} // namespace halcyra
