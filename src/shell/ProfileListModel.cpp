#include "shell/ProfileListModel.h"

namespace halcyra {

void ProfileListModel::setRows(std::vector<ProfileRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int ProfileListModel::rowOf(std::string_view name) const {
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (compareProfileText(m_rows[i].name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

int ProfileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ProfileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ProfileColumnCount;
}

QVariant ProfileListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount())
        return {};
    const std::string text = m_rows[static_cast<std::size_t>(index.row())].cell(index.column());
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant ProfileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= ProfileColumnCount)
        return {};
    return QString::fromLatin1(ProfileColumns[section].caption);
}

} // namespace halcyra
