#include "platform/QtUiServices.h"

#include "platform/QtText.h"
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>

namespace halcyra {

namespace {

QString fileName(std::string_view value) {
    return QFile::decodeName(QByteArray(value.data(), static_cast<qsizetype>(value.size())));
}

std::string bytes(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

struct ButtonPair {
    MessageButton ours;
    QMessageBox::StandardButton qt;
};

constexpr ButtonPair kButtons[] = {
    {ButtonOk, QMessageBox::Ok},         {ButtonCancel, QMessageBox::Cancel},
    {ButtonYes, QMessageBox::Yes},       {ButtonNo, QMessageBox::No},
    {ButtonAbort, QMessageBox::Abort},   {ButtonRetry, QMessageBox::Retry},
    {ButtonIgnore, QMessageBox::Ignore},
};

QMessageBox::Icon iconOf(MessageKind kind) {
    switch (kind) {
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

std::optional<std::string> runFileDialog(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return bytes(QFileInfo(dialog.selectedFiles().constFirst()).absoluteFilePath());
}

void prepareFileDialog(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setWindowTitle(qtText(request.title));
    if (!request.filter.empty())
        dialog.setNameFilters(qtText(request.filter).split(QStringLiteral(";;"), Qt::SkipEmptyParts));
    if (!request.defaultSuffix.empty())
        dialog.setDefaultSuffix(qtText(request.defaultSuffix));
    if (!request.initialPath.empty()) {
        const QFileInfo initial(fileName(request.initialPath));
        if (initial.isDir()) {
            dialog.setDirectory(initial.absoluteFilePath());
        } else {
            dialog.setDirectory(initial.absolutePath());
            dialog.selectFile(initial.fileName());
        }
    }
}

} // namespace

QWidget* QtUiServices::dialogParent() {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

MessageButton QtUiServices::messageBox(MessageKind kind, std::string_view title, std::string_view message,
                                       MessageButtons buttons, MessageButton defaultButton) {
    QMessageBox box(iconOf(kind), qtText(title), qtText(message), QMessageBox::NoButton, dialogParent());
    box.setTextFormat(Qt::PlainText);
    for (const ButtonPair& pair : kButtons)
        if ((buttons & pair.ours) != 0)
            box.addButton(pair.qt);
    for (const ButtonPair& pair : kButtons)
        if (pair.ours == defaultButton && (buttons & pair.ours) != 0)
            box.setDefaultButton(pair.qt);
    // Escape and the close box answer Cancel, else No, else OK, when the box has one.
    for (MessageButton escape : {ButtonCancel, ButtonNo, ButtonOk}) {
        if ((buttons & escape) == 0)
            continue;
        for (const ButtonPair& pair : kButtons)
            if (pair.ours == escape)
                box.setEscapeButton(pair.qt);
        break;
    }
    box.exec();
    const QMessageBox::StandardButton chosen = box.standardButton(box.clickedButton());
    for (const ButtonPair& pair : kButtons)
        if (pair.qt == chosen && (buttons & pair.ours) != 0)
            return pair.ours;
    return defaultButton;
}

std::optional<std::string> QtUiServices::inputText(std::string_view title, std::string_view prompt,
                                                   std::string_view initial) {
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(qtText(title));
    dialog.setLabelText(qtText(prompt));
    dialog.setTextValue(qtText(initial));
    // The title is often the only hint on what to enter ("Enter file mask, e.g. *.exe"): the box is wide
    // enough to show it beside the title bar's buttons, which the window manager draws in a bold font.
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    // (The dialog's layout fixes its minimum size from its children, so the text field carries the width.)
    constexpr int TitleBarButtons = 120;
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(qtText(title)) + TitleBarButtons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue().toStdString();
}

std::optional<std::string> QtUiServices::openFileName(const FileDialogRequest& request) {
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    prepareFileDialog(dialog, request);
    return runFileDialog(dialog);
}

std::vector<std::string> QtUiServices::openFileNames(const FileDialogRequest& request) {
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    prepareFileDialog(dialog, request);
    std::vector<std::string> files;
    if (dialog.exec() == QDialog::Accepted)
        for (const QString& file : dialog.selectedFiles())
            files.push_back(bytes(QFileInfo(file).absoluteFilePath()));
    return files;
}

std::optional<std::string> QtUiServices::saveFileName(const FileDialogRequest& request) {
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    prepareFileDialog(dialog, request);
    return runFileDialog(dialog);
}

std::optional<std::string> QtUiServices::pickFolder(std::string_view title, std::string_view startFolder) {
    QWidget* parent = dialogParent();
    QFileDialog dialog(parent, qtText(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The toolkit's own dialog, so that it can be placed.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (!startFolder.empty())
        dialog.setDirectory(fileName(startFolder));
    dialog.adjustSize();
    QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        const ScreenPoint corner = centredInWorkArea({area.x(), area.y(), area.width(), area.height()},
                                                     dialog.width(), dialog.height());
        dialog.move(corner.x, corner.y);
    }
    return runFileDialog(dialog);
}

bool QtUiServices::openDocument(std::string_view pathOrUrl, std::string& whyNot) {
    whyNot.clear();
    const QString target = fileName(pathOrUrl);
    QUrl url;
    if (!target.startsWith(QLatin1Char('/')))
        url = QUrl(target, QUrl::StrictMode);
    if (url.scheme().size() < 2) // no scheme: a file name, relative to the current folder when not absolute
        url = QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath());
    if (target.isEmpty() || !url.isValid()) {
        whyNot = "It is not a valid file name or web address.";
        return false;
    }
    if (QDesktopServices::openUrl(url))
        return true;
    // The desktop's opener says no more than that it failed; its absence is the one cause worth naming.
    whyNot = QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty()
                 ? "The desktop's opener (xdg-open) is not installed."
                 : "The desktop found no program to open it.";
    return false;
}

void QtUiServices::setClipboardText(std::string_view value) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(qtText(value));
}

std::string QtUiServices::clipboardText() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    return clipboard != nullptr ? clipboard->text().toStdString() : std::string();
}

} // namespace halcyra
