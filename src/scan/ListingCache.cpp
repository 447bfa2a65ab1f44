#include "scan/ListingCache.h"

ListingCache &listingCache(Context &ctx)
{
    if (!ctx.listingCache)
        ctx.listingCache = std::make_shared<ListingCache>();
    return *ctx.listingCache;
}

void resetListingCache(Context &ctx)
{
    ctx.listingCache.reset();
}

RelativeIndex buildRelativeIndex(const WorkArray &items, qsizetype rootLength)
{
    RelativeIndex index;
    index.reserve(qsizetype(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        const QString &p = items[i].Path;
        if (p.size() >= rootLength)
            index.insert(QStringView(p).mid(rootLength), int(i));
    }
    return index;
}
