#pragma once
// The rows of one result list, kept compactly, in the order the rows were added: a row served
// by the engine is its key (4 bytes; the engine's RowSource gives its texts when the row is
// painted or read back); a row given as texts keeps them in one vector per column (no object
// per row). Sorting only reorders an index permutation for the display; the insertion order
// stays available for the program (row(i)) and nothing behind the list changes.
#include "core/UiHost.h"
#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>
#include <vector>

class ResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ResultListModel(const QStringList &headers, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Appends a batch of rows (first-column text, then the sub-items) at the end.
    void appendRows(const QList<QStringList> &rows);
    // Appends rows served by `source` (one list has one source), by their keys.
    void appendRefs(const RowSource &source, const std::vector<qint32> &keys);
    void clear();
    int size() const { return int(rows_.size()); }
    // The bytes the rows hold (keys, texts given, display order).
    qint64 memoryBytes() const;

    // A row in insertion order, with the texts it was given (a row may have fewer sub-items
    // than there are columns).
    QStringList rowAt(int insertionIndex) const;
    // Display position <-> insertion index.
    int sourceRow(int displayRow) const;
    // The texts of a row by display position; textCount is how many texts the row has.
    QString text(int displayRow, int column) const;
    int textCount(int displayRow) const;

    // Orders the display by the text of one column (letter case ignored; ties keep their
    // insertion order). Rows added later are placed after the sorted ones.
    void sortByColumn(int column, Qt::SortOrder order);

    // While a listing or a run is under way on its own thread, the engine's lists may change
    // at any moment: the rows' texts are read from the source only while it is readable (the
    // work stands still), and otherwise painted from the texts read last (blank if none).
    void beginWork();
    void setSourceReadable(bool on);
    void endWork();

    // The list's sort state: key column (0-based), order, and whether it has been sorted.
    int SortKey = 0;
    Qt::SortOrder SortOrder = Qt::AscendingOrder;
    bool Sorted = false;

private:
    // The text of one column of a row in insertion order.
    QString cell(int insertionIndex, int column) const;

    QStringList headers_;
    std::vector<qint32> rows_;                    // per row: >= 0 a key of source_; < 0 ~(text row)
    const RowSource *source_ = nullptr;
    std::vector<std::vector<QString>> columns_;   // columns_[c][text row]
    std::vector<quint8> filled_;                  // texts given per text row
    std::vector<int> order_;                      // display -> insertion; empty while unsorted
    // The texts of the rows read while the work stood still, by key (kept while it works).
    QStringList sourceTexts(qint32 key) const;
    bool readable_ = true, working_ = false;
    mutable QHash<qint32, QStringList> read_;
};
