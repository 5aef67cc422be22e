#include "platform/QtUiServices.h"
#include "gui/GuiTestSupport.h"
#include "platform/MessageBoxes.h"
#include "settings/AuxProcs.h"

#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace halcyra {
namespace {

using test::onModal;

// Checks the box shown next, then answers it with `answer` (Escape when NoButton).
void expectBox(QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
               QMessageBox::StandardButton escape, QMessageBox::StandardButton answer) {
    onModal([=](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->text(), QStringLiteral("Sorry, the <b>file</b> &amp; more"));
        EXPECT_EQ(box->standardButtons(), buttons);
        EXPECT_EQ(box->standardButton(box->defaultButton()), defaultButton);
        EXPECT_EQ(box->standardButton(box->escapeButton()), escape);
        if (answer == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(answer)->click();
    });
}

TEST(QtUiServices, BoxesShowPlainTextWithTheirButtonsDefaultAndEscape) {
    QtUiServices ui;
    const std::string text = "Sorry, the <b>file</b> &amp; more";
    expectBox(QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No, QMessageBox::NoButton);
    EXPECT_FALSE(askYesNo(ui, text));
    expectBox(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::Cancel,
              QMessageBox::No);
    EXPECT_EQ(askYesNoCancel(ui, text), ButtonNo);
    expectBox(QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::NoButton);
    showError(ui, text);
    expectBox(QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Ok);
    EXPECT_TRUE(askTryAgain(ui, text));
}

TEST(QtUiServices, InputBoxIsWideEnoughForItsTitle) {
    QtUiServices ui;
    const QString title = QStringLiteral("Enter file mask, e.g. *.exe");
    onModal([&title](QWidget* modal) {
        EXPECT_EQ(modal->windowTitle(), title);
        EXPECT_GT(modal->width(), modal->fontMetrics().horizontalAdvance(title) + 60);
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->setTextValue(QStringLiteral("*.log"));
        dialog->accept();
    });
    EXPECT_EQ(ui.inputText(title.toStdString(), "Mask", ""), "*.log");
}

TEST(QtUiServices, FolderPickerIsCentredAndReturnsTheChosenFolder) {
    const QTemporaryDir folder;
    const std::filesystem::path root = folder.path().toStdString();
    std::filesystem::create_directories(root / "chosen dir");
    QtUiServices ui;
    onModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString(root.string()));
        const QRect area = dialog->screen()->availableGeometry();
        const ScreenPoint corner = centredInWorkArea({area.x(), area.y(), area.width(), area.height()},
                                                     dialog->width(), dialog->height());
        EXPECT_EQ(dialog->pos(), QPoint(corner.x, corner.y));
        dialog->setDirectory(QString::fromStdString((root / "chosen dir").string()));
        static_cast<QDialog*>(dialog)->accept();
    });
    std::string chosen = root.string();
    EXPECT_TRUE(BrowseForFolder(ui, "Select a folder", chosen));
    EXPECT_EQ(chosen, (root / "chosen dir").string() + "/");
    onModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(BrowseForFolder(ui, "Select a folder", chosen));
}

TEST(QtUiServices, FileDialogsStartAtHomeThenWhereTheSameDialogWasLastUsed) {
    const QTemporaryDir home;
    const QString used = home.path() + QStringLiteral("/used");
    ASSERT_TRUE(QDir().mkpath(used));
    const QByteArray previousHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    QtUiServices ui;
    const FileDialogRequest exportRequest{"Export profile: A", "A.hcs", "Archives (*.hcs)", "hcs"};
    const auto expectFolder = [](const QString& folder, const QString& chosen) {
        onModal([=](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->directory().absolutePath(), folder);
            if (chosen.isEmpty())
                return dialog->reject();
            dialog->selectFile(chosen);
            static_cast<QDialog*>(dialog)->accept();
        });
    };
    expectFolder(home.path(), used + QStringLiteral("/A.hcs"));
    EXPECT_EQ(ui.saveFileName(exportRequest), (used + QStringLiteral("/A.hcs")).toStdString());
    expectFolder(used, {}); // the same dialog for another profile
    EXPECT_EQ(ui.saveFileName({"Export profile: B", "B.hcs", "Archives (*.hcs)", "hcs"}), std::nullopt);
    expectFolder(home.path(), {}); // another dialog
    EXPECT_EQ(ui.openFileName({"Import profiles", {}, "Archives (*.hcs)", "hcs"}), std::nullopt);
    expectFolder(home.path(), {}); // a folder picker without a preset folder
    std::string folder;
    EXPECT_FALSE(BrowseForFolder(ui, "Select a directory", folder));
    qputenv("HOME", previousHome);
}

} // namespace
} // namespace halcyra
