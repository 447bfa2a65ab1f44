#include "scan/ListingCache.h"

ListingCache &listingCache(Context &ctx)
{
    if (!ctx.listing->cache)
        ctx.listing->cache = std::make_shared<ListingCache>();
    return *ctx.listing->cache;
}


