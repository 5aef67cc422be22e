#pragma once

#include <QDialog>

#include <cstdint>

class QGroupBox;
class QPushButton;
class QRadioButton;

namespace halcyra {

// The choice of what kind of profile to create: one that hashes the files of a folder, or a group of
// profiles.
class TfrmProfileType : public QDialog {
    Q_OBJECT

public:
    // Shows the choice preset to `AType` (2 selects the group, anything else the folder kind). On OK `AType`
    // receives the choice (1 ordinary, 2 group) and the result is true; otherwise `AType` stays. In a
    // session without a display nothing is shown and the result is false.
    static bool Execute(std::uint8_t& AType);

    explicit TfrmProfileType(QWidget* parent = nullptr);

    // 0 none, 1 ordinary, 2 group.
    std::uint8_t ChosenType = 0;

    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* rbHash = nullptr;
    QRadioButton* rbGroup = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* bCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose(int result);
};

} // namespace halcyra
