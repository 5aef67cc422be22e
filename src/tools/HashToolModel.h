#pragma once

#include "tools/ToolRows.h"

#include <QAbstractTableModel>

#include <vector>

namespace halcyra {

// The rows of a hash tool window as a table. The window changes the rows through this model only, so the
// view always matches them; rows added during a pass become visible at publish().
class HashToolModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum class Column { Name, Hash };

    // `colouredGroups`: rows are painted lime (empty mark) or yellow (mark ".").
    HashToolModel(std::vector<Column> columns, std::vector<QString> titles, bool colouredGroups,
                  QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const ToolRows& rows() const { return m_rows; }
    // Adds a row; it is shown at the next publish().
    void append(ToolRow row) { m_rows.push_back(std::move(row)); }
    // Shows the rows appended since the last call.
    void publish();
    // Replaces every row by what `change` makes of them (sorting, removing): the view starts afresh.
    template <class Change> void reset(Change change) {
        beginResetModel();
        change(m_rows);
        m_shown = m_rows.size();
        endResetModel();
    }
    // Lets `change` alter the rows' texts (not their number or order), then redraws them.
    template <class Change> void update(Change change) {
        change(m_rows);
        if (m_shown > 0)
            emit dataChanged(index(0, 0), index(static_cast<int>(m_shown) - 1, columnCount() - 1));
    }

private:
    std::vector<Column> m_columns;
    std::vector<QString> m_titles;
    bool m_colouredGroups;
    ToolRows m_rows;
    std::size_t m_shown = 0; // rows the view knows of
};

} // namespace halcyra
