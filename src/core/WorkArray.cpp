#include "core/WorkArray.h"

WorkArray::WorkArray(std::initializer_list<WorkItem> items)
{
    for (const WorkItem &item : items)
        push_back(item);
}

WorkArray &WorkArray::operator=(std::initializer_list<WorkItem> items)
{
    clear();
    for (const WorkItem &item : items)
        push_back(item);
    return *this;
}

void WorkArray::push_back(const WorkItem &item)
{
    refs_.push_back(~qint32(own_.size()));
    own_.push_back(item);
}

void WorkArray::pushListed(const ScanList *list, qint32 entry)
{
    Q_ASSERT(list && entry >= 0 && (!list_ || list_ == list));
    list_ = list;
    refs_.push_back(entry);
}

void WorkArray::clear()
{
    std::vector<qint32>().swap(refs_);
    std::vector<WorkItem>().swap(own_);
    list_ = nullptr;
}

void WorkArray::swap(WorkArray &other) noexcept
{
    std::swap(list_, other.list_);
    refs_.swap(other.refs_);
    own_.swap(other.own_);
    std::swap(rowTexts_, other.rowTexts_);
}

WorkItem WorkArray::at(size_t k) const
{
    const qint32 r = refs_[k];
    return r >= 0 ? list_->item(r) : own_[size_t(~r)];
}

QString WorkArray::path(size_t k) const
{
    const qint32 r = refs_[k];
    return r >= 0 ? list_->path(r) : own_[size_t(~r)].Path;
}

bool WorkArray::isFolder(size_t k) const
{
    const qint32 r = refs_[k];
    return r >= 0 ? list_->at(r).isFolder() : own_[size_t(~r)].IsFolder;
}

QStringList WorkArray::rowTexts(qint32 key) const
{
    // A row outlives nothing it refers to: the lists are emptied with their arrays, but a row
    // asked for after that reads as empty rather than past the end.
    if (key < 0 || size_t(key) >= refs_.size() || !rowTexts_)
        return QStringList();
    return rowTexts_(*this, key);
}

qint64 WorkArray::memoryBytes() const
{
    qint64 bytes = qint64(refs_.capacity() * sizeof(qint32) + own_.capacity() * sizeof(WorkItem));
    for (const WorkItem &item : own_)
        bytes += item.Path.capacity() * qint64(sizeof(QChar));
    return bytes;
}
