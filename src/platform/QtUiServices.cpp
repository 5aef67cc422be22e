#include "platform/QtUiServices.h"

#include "platform/QtText.h"
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
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

std::optional<std::string> firstFile(const QStringList& files) {
    if (files.isEmpty())
        return std::nullopt;
    return bytes(files.constFirst());
}

std::string fileDialogKey(const char* kind, const FileDialogRequest& request) {
    return std::string(kind) + ":" + request.filter;
}

} // namespace

QString QtUiServices::rememberedFolder(const std::string& key) const {
    const auto last = m_lastFolders.find(key);
    return last != m_lastFolders.end() ? last->second : QDir::homePath();
}

void QtUiServices::prepareFileDialog(QFileDialog& dialog, const FileDialogRequest& request,
                                     const std::string& key) {
    dialog.setWindowTitle(qtText(request.title));
    if (!request.filter.empty())
        dialog.setNameFilters(qtText(request.filter).split(QStringLiteral(";;"), Qt::SkipEmptyParts));
    if (!request.defaultSuffix.empty())
        dialog.setDefaultSuffix(qtText(request.defaultSuffix));
    const QFileInfo initial(fileName(request.initialPath));
    if (request.initialPath.empty()) {
        dialog.setDirectory(rememberedFolder(key));
    } else if (initial.isDir()) {
        dialog.setDirectory(initial.absoluteFilePath());
    } else if (request.initialPath.find('/') == std::string::npos) { // a suggested name alone
        dialog.setDirectory(rememberedFolder(key));
        dialog.selectFile(initial.fileName());
    } else {
        dialog.setDirectory(initial.absolutePath());
        dialog.selectFile(initial.fileName());
    }
}

QStringList QtUiServices::runFileDialog(QFileDialog& dialog, const std::string& key) {
    QStringList files;
    if (dialog.exec() != QDialog::Accepted)
        return files;
    for (const QString& file : dialog.selectedFiles())
        files.push_back(QFileInfo(file).absoluteFilePath());
    if (!files.isEmpty()) {
        const QFileInfo first(files.constFirst());
        m_lastFolders[key] =
            dialog.fileMode() == QFileDialog::Directory ? first.absoluteFilePath() : first.absolutePath();
    }
    return files;
}

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
    const std::string key = fileDialogKey("open", request);
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    prepareFileDialog(dialog, request, key);
    return firstFile(runFileDialog(dialog, key));
}

std::vector<std::string> QtUiServices::openFileNames(const FileDialogRequest& request) {
    // The same dialog as openFileName's: the window's open dialog serves both.
    const std::string key = fileDialogKey("open", request);
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    prepareFileDialog(dialog, request, key);
    std::vector<std::string> files;
    for (const QString& file : runFileDialog(dialog, key))
        files.push_back(bytes(file));
    return files;
}

std::optional<std::string> QtUiServices::saveFileName(const FileDialogRequest& request) {
    const std::string key = fileDialogKey("save", request);
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    prepareFileDialog(dialog, request, key);
    return firstFile(runFileDialog(dialog, key));
}

std::optional<std::string> QtUiServices::pickFolder(std::string_view title, std::string_view startFolder) {
    QWidget* parent = dialogParent();
    QFileDialog dialog(parent, qtText(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The toolkit's own dialog, so that it can be placed.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const std::string key = "folder:" + std::string(title);
    dialog.setDirectory(startFolder.empty() ? rememberedFolder(key) : fileName(startFolder));
    dialog.adjustSize();
    QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        const ScreenPoint corner = centredInWorkArea({area.x(), area.y(), area.width(), area.height()},
                                                     dialog.width(), dialog.height());
        dialog.move(corner.x, corner.y);
    }
    return firstFile(runFileDialog(dialog, key));
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
