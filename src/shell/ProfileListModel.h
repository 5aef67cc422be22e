#pragma once

#include "shell/ProfileList.h"

#include <QAbstractTableModel>

#include <string_view>
#include <vector>

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

} // namespace halcyra
