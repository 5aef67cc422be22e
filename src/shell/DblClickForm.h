#pragma once

#include <QDialog>

#include <cstdint>

class QButtonGroup;
class QGroupBox;
class QPushButton;

namespace halcyra {

// The choice of what a double-click on the profile list does; the item numbers are the values of the
// program-wide setting "DoubleClick".
class TfrmDblClick : public QDialog {
    Q_OBJECT

public:
    // Shows the choice, modal, with item `Action` selected (none when it is above 4). On OK with an item
    // selected, `Action` becomes that item (0 to 4) and true is returned; otherwise `Action` stays and false
    // is returned. Without a display the choice is not shown and counts as cancelled.
    static bool Execute(std::uint8_t& Action);

    explicit TfrmDblClick(QWidget* parent = nullptr);

    // The selected item, or -1 when none is.
    int ItemIndex() const;
    // Selects item `index`; an index outside 0 to 4 selects none.
    void setItemIndex(int index);

    QGroupBox* RadioGroup = nullptr;
    QPushButton* BitBtn1 = nullptr; // OK
    QPushButton* BitBtn2 = nullptr; // Cancel

private:
    QButtonGroup* m_items = nullptr;
};

} // namespace halcyra
