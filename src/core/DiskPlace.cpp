// The places the work's threads are at, by thread: a thread's places nest (a run copies a file
// inside a folder step), and only the innermost one, the latest named, is said.
#include "core/DiskPlace.h"
#include "platform/Platform.h"
#include <QMutex>
#include <QThread>
#include <vector>

namespace {

struct Place {
    Qt::HANDLE thread = nullptr;
    QString path, temporary;
    quint64 order = 0;   // when it was named: the innermost place of a thread is its latest
    bool inUse = false;
};

QMutex &lock()
{
    static QMutex m;
    return m;
}

std::vector<Place> &places()
{
    static std::vector<Place> p;
    return p;
}

int takeSlot(Place place)
{
    std::vector<Place> &all = places();
    for (size_t k = 0; k < all.size(); ++k)
        if (!all[k].inUse) {
            all[k] = std::move(place);
            return int(k);
        }
    all.push_back(std::move(place));
    return int(all.size() - 1);
}

} // namespace

DiskPlace::DiskPlace(const QString &path, const QString &temporary)
{
    static quint64 named = 0;
    const QMutexLocker hold(&lock());
    slot_ = takeSlot(Place{QThread::currentThreadId(), path, temporary, ++named, true});
}

DiskPlace DiskPlace::copy(const QString &source, const QString &destination)
{
    return DiskPlace(source, destination.left(destination.lastIndexOf(platform::separator()) + 1)
                                 + QString::fromLatin1(platform::kCopyTempName));
}

DiskPlace::~DiskPlace()
{
    const QMutexLocker hold(&lock());
    Place &p = places()[size_t(slot_)];
    p = Place{};
}

QStringList DiskPlace::now()
{
    const QMutexLocker hold(&lock());
    // The innermost place of each thread is the one taken last.
    std::vector<const Place *> innermost;
    for (const Place &p : places()) {
        if (!p.inUse)
            continue;
        bool replaced = false;
        for (const Place *&q : innermost)
            if (q->thread == p.thread) {
                if (p.order > q->order)
                    q = &p;
                replaced = true;
            }
        if (!replaced)
            innermost.push_back(&p);
    }
    QStringList out;
    for (const Place *p : innermost)
        out << (p->temporary.isEmpty() ? p->path : p->path + QStringLiteral(" (temporary file ") + p->temporary + QLatin1Char(')'));
    return out;
}
