#pragma once

#include "shell/ProfileList.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include <string_view>
#include <vector>

class QTableView;

namespace halcyra {

// The rows of the profile list, for a table view: five columns of plain text.
class ProfileListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ProfileListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    // Replaces every row (views lose their selection).
    void setRows(std::vector<ProfileRow> rows);
    const std::vector<ProfileRow>& rows() const { return m_rows; }
    // The row of profile `name` (ASCII letter case ignored, as profile names are); -1 when there is none.
    int rowOf(std::string_view name) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<ProfileRow> m_rows;
};

// Draws cells as the view does and shows a cell's full text as its tool tip when the cell is too narrow for
// it (the view then shows the text elided).
class ElidedTextToolTipDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the text of the cell at `index` is wider than the room the view gives it.
    bool isElided(const QAbstractItemView& view, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

// Sizes the columns of a view on a ProfileListModel so that they always fit the list: every column but the
// first is as wide as its caption with the sort mark and the texts it shows in the ordinary course ("Yes
// (shared)", a last-run date and time, the run results); the profile name column takes the rest and so
// everything the list gains when the window grows. Names wider than their column are elided.
void fitProfileColumns(QTableView& view);

} // namespace halcyra
