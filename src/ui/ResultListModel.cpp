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

QString ResultListModel::cell(int r, int column) const
{
    if (r < 0 || r >= size() || column < 0 || column >= int(columns_.size()))
        return QString();
    const qint32 key = rows_[size_t(r)];
    if (key >= 0)
        return sourceTexts(key).value(column);
    return columns_[size_t(column)][size_t(~key)];
}

QString ResultListModel::text(int displayRow, int column) const
{
    return cell(sourceRow(displayRow), column);
}

int ResultListModel::textCount(int displayRow) const
{
    const int r = sourceRow(displayRow);
    if (r < 0)
        return 0;
    const qint32 key = rows_[size_t(r)];
    if (key >= 0)
        return int(sourceTexts(key).size());
    return filled_[size_t(~key)];
}

namespace {

// The rows read while the work stood still that are kept for painting meanwhile: a few screens.
constexpr qsizetype kRowsKeptWhileWorking = 4096;

} // namespace

QStringList ResultListModel::sourceTexts(qint32 key) const
{
    if (!source_)
        return {};
    if (!working_)
        return source_->rowTexts(key);
    if (!readable_)
        return read_.value(key);
    if (read_.size() >= kRowsKeptWhileWorking)
        read_.clear();
    return read_[key] = source_->rowTexts(key);
}

void ResultListModel::beginWork()
{
    working_ = true;
    readable_ = false;
}

void ResultListModel::setSourceReadable(bool on)
{
    readable_ = on;
}

void ResultListModel::endWork()
{
    working_ = false;
    readable_ = true;
    read_.clear();
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
    rows_.reserve(rows_.size() + size_t(n));
    for (const QStringList &row : rows) {
        const size_t given = std::min(size_t(row.size()), cols);
        rows_.push_back(~qint32(filled_.size()));
        for (size_t c = 0; c < cols; ++c)
            columns_[c].push_back(c < given ? row.at(qsizetype(c)) : QString());
        filled_.push_back(quint8(given));
    }
    if (!order_.empty())
        for (int i = first; i < first + n; ++i)
            order_.push_back(i);
    endInsertRows();
}

void ResultListModel::appendRefs(const RowSource &source, const std::vector<qint32> &keys)
{
    if (keys.empty())
        return;
    const int first = size();
    const int n = int(keys.size());
    beginInsertRows(QModelIndex(), first, first + n - 1);
    source_ = &source;
    rows_.insert(rows_.end(), keys.begin(), keys.end());
    if (!order_.empty())
        for (int i = first; i < first + n; ++i)
            order_.push_back(i);
    endInsertRows();
}

qint64 ResultListModel::memoryBytes() const
{
    qint64 bytes = qint64((rows_.capacity() + order_.capacity()) * sizeof(qint32) + filled_.capacity());
    for (const auto &col : columns_) {
        bytes += qint64(col.capacity() * sizeof(QString));
        for (const QString &t : col)
            bytes += t.capacity() * qint64(sizeof(QChar));
    }
    return bytes;
}

void ResultListModel::clear()
{
    beginResetModel();
    for (auto &col : columns_)
        std::vector<QString>().swap(col);
    std::vector<quint8>().swap(filled_);
    std::vector<qint32>().swap(rows_);
    source_ = nullptr;
    read_.clear();
    std::vector<int>().swap(order_);
    endResetModel();
}

QStringList ResultListModel::rowAt(int i) const
{
    QStringList out;
    if (i < 0 || i >= size())
        return out;
    const qint32 key = rows_[size_t(i)];
    if (key >= 0)
        return source_ ? source_->rowTexts(key).mid(0, columns_.size()) : out;
    for (int c = 0; c < filled_[size_t(~key)]; ++c)
        out << columns_[size_t(c)][size_t(~key)];
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
    std::vector<QString> keys(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        keys[size_t(i)] = cell(i, column).toCaseFolded();
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
