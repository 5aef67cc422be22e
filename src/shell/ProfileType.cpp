#include "shell/ProfileType.h"

#include "platform/HeadlessUiServices.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace halcyra {

bool TfrmProfileType::Execute(std::uint8_t& AType) {
    if (isHeadlessSession()) {
        reportSkippedWindow("profile type choice", "no profile was created.");
        return false;
    }
    TfrmProfileType window;
    window.ChosenType = AType;
    if (window.exec() != QDialog::Accepted)
        return false;
    AType = window.ChosenType;
    return true;
}

TfrmProfileType::TfrmProfileType(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("frmProfileType"));
    setWindowTitle(QStringLiteral("Profile type"));

    GroupBox1 = new QGroupBox(QStringLiteral("What type of profile do you want to create?"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    rbHash = new QRadioButton(QStringLiteral("Hash files in a directory"), GroupBox1);
    rbHash->setObjectName(QStringLiteral("rbHash"));
    rbGroup = new QRadioButton(QStringLiteral("&Group profile"), GroupBox1);
    rbGroup->setObjectName(QStringLiteral("rbGroup"));
    auto* choices = new QVBoxLayout(GroupBox1);
    choices->addWidget(rbHash);
    choices->addWidget(rbGroup);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    bCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(bCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    FormCreate();
}

void TfrmProfileType::FormCreate() {
    ChosenType = 0;
}

void TfrmProfileType::showEvent(QShowEvent* event) {
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TfrmProfileType::FormShow() {
    (ChosenType == 2 ? rbGroup : rbHash)->setChecked(true);
    BitBtn1->setFocus();
}

void TfrmProfileType::done(int result) {
    FormClose(result);
    QDialog::done(result);
}

void TfrmProfileType::FormClose(int result) {
    if (result != QDialog::Accepted)
        return;
    ChosenType = rbHash->isChecked() ? 1 : (rbGroup->isChecked() ? 2 : 0);
}

} // namespace halcyra
