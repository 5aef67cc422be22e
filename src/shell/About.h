#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace halcyra {

// The About window: the program's title and logo, what it does, where it comes from and whose work it
// builds on.
class TfrmAbout : public QDialog {
    Q_OBJECT

public:
    explicit TfrmAbout(QWidget* parent = nullptr);

    // Shows the window modally over `owner` and frees it.
    static void showOver(QWidget* owner);

    QPlainTextEdit* Memo1 = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* BitBtn1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
};

} // namespace halcyra
