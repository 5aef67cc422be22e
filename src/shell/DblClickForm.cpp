#include "shell/DblClickForm.h"

#include "platform/HeadlessUiServices.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace halcyra {

namespace {

constexpr const char* ItemTexts[] = {"Do nothing", "Run the profile", "Modify the profile",
                                     "Schedule the profile", "View the log"};
constexpr int ItemCount = 5;
constexpr int RowsPerColumn = (ItemCount + 1) / 2; // two columns, the first one filled first

} // namespace

bool TfrmDblClick::Execute(std::uint8_t& Action) {
    if (isHeadlessSession()) {
        reportSkippedWindow("double-click choice", "nothing was changed.");
        return false;
    }
    TfrmDblClick window;
    window.setItemIndex(Action);
    if (window.exec() != QDialog::Accepted || window.ItemIndex() < 0)
        return false;
    Action = static_cast<std::uint8_t>(window.ItemIndex());
    return true;
}

TfrmDblClick::TfrmDblClick(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setObjectName("frmDblClick");
    setWindowTitle("What to do on double-click...");

    RadioGroup = new QGroupBox("When I double-click an item on the list I want to:", this);
    RadioGroup->setObjectName("RadioGroup");
    auto* grid = new QGridLayout(RadioGroup);
    m_items = new QButtonGroup(this);
    m_items->setExclusive(true);
    for (int i = 0; i < ItemCount; ++i) {
        auto* item = new QRadioButton(ItemTexts[i], RadioGroup);
        item->setObjectName(QStringLiteral("RadioGroupItem%1").arg(i));
        m_items->addButton(item, i);
        grid->addWidget(item, i % RowsPerColumn, i / RowsPerColumn);
    }

    BitBtn1 = new QPushButton("OK", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    BitBtn2 = new QPushButton("Cancel", this);
    BitBtn2->setObjectName("BitBtn2");
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RadioGroup);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

int TfrmDblClick::ItemIndex() const {
    return m_items->checkedId();
}

void TfrmDblClick::setItemIndex(int index) {
    if (index >= 0 && index < ItemCount) {
        m_items->button(index)->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; clearing needs the group released for a moment.
    m_items->setExclusive(false);
    for (QAbstractButton* item : m_items->buttons())
        item->setChecked(false);
    m_items->setExclusive(true);
}

} // namespace halcyra
