#pragma once
// A work array: the items one step works on, in the order the listing found them. An item the
// listing found is a reference to its entry in a scan list (4 bytes; the folder index and the
// name are in the list, and so are the length, the time and the kind, which the listing wrote
// back into the entry); an item given whole (a path of its own) is kept aside. The full path is
// put together only when it is asked for: a row that is painted, a log line or a copy.
#include "core/ScanList.h"
#include "core/UiHost.h"
#include <initializer_list>
#include <vector>

class WorkArray : public RowSource {
public:
    // The texts of row `k` of the array's result list.
    using RowTexts = QStringList (*)(const WorkArray &items, qsizetype k);

    WorkArray() = default;
    WorkArray(std::initializer_list<WorkItem> items);
    WorkArray &operator=(std::initializer_list<WorkItem> items);

    // An item with a path of its own.
    void push_back(const WorkItem &item);
    // Entry `entry` of `list`; every reference of one array is into the same list.
    void pushListed(const ScanList *list, qint32 entry);

    size_t size() const { return refs_.size(); }
    bool empty() const { return refs_.empty(); }
    void clear();
    void swap(WorkArray &other) noexcept;

    WorkItem operator[](size_t k) const { return at(k); }
    WorkItem at(size_t k) const;
    QString path(size_t k) const;
    bool isFolder(size_t k) const;
    // The entry that item k refers to, or -1 for an item given whole.
    qint32 entry(size_t k) const { return refs_[k] >= 0 ? refs_[k] : -1; }
    const ScanList *list() const { return list_; }

    // How the rows read; the window asks for the texts of the rows it shows.
    void setRowTexts(RowTexts texts) { rowTexts_ = texts; }
    QStringList rowTexts(qint32 key) const override;

    // The bytes the array holds beyond its list (references and items given whole).
    qint64 memoryBytes() const;

    class const_iterator {
    public:
        const_iterator(const WorkArray *a, size_t k) : a_(a), k_(k) {}
        WorkItem operator*() const { return a_->at(k_); }
        const_iterator &operator++()
        {
            ++k_;
            return *this;
        }
        bool operator!=(const const_iterator &o) const { return k_ != o.k_; }

    private:
        const WorkArray *a_;
        size_t k_;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, refs_.size()); }

private:
    const ScanList *list_ = nullptr;
    std::vector<qint32> refs_; // >= 0: an entry of list_; < 0: ~(index into own_)
    std::vector<WorkItem> own_;
    RowTexts rowTexts_ = nullptr;
};
