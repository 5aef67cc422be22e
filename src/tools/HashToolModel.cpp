#include "tools/HashToolModel.h"

#include "platform/QtText.h"

#include <QColor>

namespace halcyra {

HashToolModel::HashToolModel(std::vector<Column> columns, std::vector<QString> titles, bool colouredGroups,
                             QObject* parent)
    : QAbstractTableModel(parent), m_columns(std::move(columns)), m_titles(std::move(titles)),
      m_colouredGroups(colouredGroups) {}

int HashToolModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_shown);
}

int HashToolModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant HashToolModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= m_shown)
        return {};
    const ToolRow& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<std::size_t>(index.column())] == Column::Name ? qtText(row.Name())
                                                                                   : qtText(row.Hash);
    if (role == Qt::BackgroundRole && m_colouredGroups)
        return row.Mark ? QColor(255, 255, 0) : QColor(0, 255, 0);
    if (role == Qt::ForegroundRole && m_colouredGroups)
        return QColor(Qt::black);
    return {};
}

QVariant HashToolModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        static_cast<std::size_t>(section) < m_titles.size())
        return m_titles[static_cast<std::size_t>(section)];
    return {};
}

void HashToolModel::publish() {
    if (m_shown >= m_rows.size())
        return;
    beginInsertRows({}, static_cast<int>(m_shown), static_cast<int>(m_rows.size()) - 1);
    m_shown = m_rows.size();
    endInsertRows();
}

} // namespace halcyra
