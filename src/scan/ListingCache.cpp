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
