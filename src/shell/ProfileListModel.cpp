#include "shell/ProfileListModel.h"

#include "base/CivilTime.h"
#include "base/DisplayDateTime.h"
#include "platform/QtText.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QStyle>
#include <QTableView>
#include <QToolTip>

#include <algorithm>

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

namespace {

// The room around a cell's text: the style's text margin on both sides.
int cellTextMargins(const QWidget& view) {
    return 2 * (view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &view) + 1);
}

// Texts the columns after the first show in the ordinary course.
std::vector<std::string> ordinaryTexts(int column) {
    switch (column) {
    case 1:
        return {std::string(profileTypeText(1)), std::string(profileTypeText(2)),
                std::string(profileTypeText(0))};
    case LastRunColumn: {
        // Late in the evening of a two-digit day and month, before and after noon: the widest date-times.
        const std::int64_t late = civilSeconds({2026, 12, 28, 23, 58, 58});
        return {"Never", formatDisplayDateTime(late), formatDisplayDateTime(late - 12 * 3600)};
    }
    case 3:
        return {"No Changes", "Changes", "Excluded Changes Only", "Errors", "Aborted", "Failure", "Imported"};
    case 4:
        return {std::string(scheduleText(false, false)), std::string(scheduleText(true, false)),
                std::string(scheduleText(true, true))};
    default:
        return {};
    }
}

} // namespace

bool ElidedTextToolTipDelegate::isElided(const QAbstractItemView& view, const QModelIndex& index) const {
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = view.visualRect(index);
    initStyleOption(&option, index);
    const QRect textRect = view.style()->subElementRect(QStyle::SE_ItemViewItemText, &option, &view);
    return option.fontMetrics.horizontalAdvance(option.text) > textRect.width() - cellTextMargins(view);
}

bool ElidedTextToolTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                          const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event == nullptr || view == nullptr || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    if (index.isValid() && isElided(*view, index)) {
        QToolTip::showText(event->globalPos(), index.data(Qt::DisplayRole).toString(), view,
                           view->visualRect(index));
    } else {
        QToolTip::hideText();
    }
    return true;
}

void fitProfileColumns(QTableView& view) {
    QHeaderView* header = view.horizontalHeader();
    const QFontMetrics metrics = view.fontMetrics();
    const int margins = cellTextMargins(view) + 2;
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < ProfileColumnCount; ++column) {
        int width = header->sectionSizeHint(column);
        for (const std::string& text : ordinaryTexts(column))
            width = std::max(width, metrics.horizontalAdvance(qtText(text)) + margins);
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, width);
    }
}

} // namespace halcyra
