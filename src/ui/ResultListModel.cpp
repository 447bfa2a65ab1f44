#include "ui/ResultListModel.h"
#include "platform/Platform.h"
#include <algorithm>
#include <numeric>

ResultListModel::ResultListModel(const QStringList &headers, QObject *parent)
    : QAbstractTableModel(parent), headers_(headers), columns_(size_t(headers.size()))
{
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(headers_.size());
}

int ResultListModel::sourceRow(int displayRow) const
{
    if (displayRow < 0 || displayRow >= size())
        return -1;
    return order_.empty() ? displayRow : order_[size_t(displayRow)];
}

QString ResultListModel::text(int displayRow, int column) const
{
    const int r = sourceRow(displayRow);
    if (r < 0 || column < 0 || column >= int(columns_.size()))
        return QString();
    return columns_[size_t(column)][size_t(r)];
}

int ResultListModel::textCount(int displayRow) const
{
    const int r = sourceRow(displayRow);
    return r < 0 ? 0 : filled_[size_t(r)];
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return QVariant();
    // Shown with U+FFFD for bytes that are not UTF-8; text() keeps the exact path for the
    // actions that read a row back.
    return platform::displayName(text(index.row(), index.column()));
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_.at(section);
    return QVariant();
}

void ResultListModel::appendRows(const QList<QStringList> &rows)
{
    if (rows.isEmpty())
        return;
    const int first = size();
    const int n = int(rows.size());
    beginInsertRows(QModelIndex(), first, first + n - 1);
    const size_t cols = columns_.size();
    for (auto &col : columns_)
        col.reserve(col.size() + size_t(n));
    filled_.reserve(filled_.size() + size_t(n));
    for (const QStringList &row : rows) {
        const size_t given = std::min(size_t(row.size()), cols);
        for (size_t c = 0; c < cols; ++c)
            columns_[c].push_back(c < given ? row.at(qsizetype(c)) : QString());
        filled_.push_back(quint8(given));
    }
    if (!order_.empty())
        for (int i = first; i < first + n; ++i)
            order_.push_back(i);
    endInsertRows();
}

void ResultListModel::clear()
{
    beginResetModel();
    for (auto &col : columns_)
        std::vector<QString>().swap(col);
    std::vector<quint8>().swap(filled_);
    std::vector<int>().swap(order_);
    endResetModel();
}

QStringList ResultListModel::rowAt(int i) const
{
    QStringList out;
    if (i < 0 || i >= size())
        return out;
    for (int c = 0; c < filled_[size_t(i)]; ++c)
        out << columns_[size_t(c)][size_t(i)];
    return out;
}

void ResultListModel::sortByColumn(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= int(columns_.size()))
        return;
    const int n = size();
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> sourceOf;
    sourceOf.reserve(size_t(before.size()));
    for (const QModelIndex &ix : before)
        sourceOf.push_back(sourceRow(ix.row()));

    // Letter case is folded once per row so that the comparisons stay cheap.
    const std::vector<QString> &col = columns_[size_t(column)];
    std::vector<QString> keys(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        keys[size_t(i)] = col[size_t(i)].toCaseFolded();
    std::vector<int> perm(static_cast<size_t>(n));
    std::iota(perm.begin(), perm.end(), 0);
    if (order == Qt::AscendingOrder)
        std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) { return keys[size_t(a)] < keys[size_t(b)]; });
    else
        std::stable_sort(perm.begin(), perm.end(), [&](int a, int b) { return keys[size_t(b)] < keys[size_t(a)]; });
    order_ = std::move(perm);

    if (!before.isEmpty()) {
        std::vector<int> displayOf(static_cast<size_t>(n));
        for (int d = 0; d < n; ++d)
            displayOf[size_t(order_[size_t(d)])] = d;
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype k = 0; k < before.size(); ++k) {
            const int src = sourceOf[size_t(k)];
            after << (src < 0 ? QModelIndex() : index(displayOf[size_t(src)], before.at(k).column()));
        }
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
