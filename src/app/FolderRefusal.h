#pragma once
#include "core/Context.h"
#include <QString>

// Says why a listing will not take the folders `S` and `T`, or "" when it will; learns on the
// way where they lie from each other (ctx.rootsRelation, ctx.sourceRootId). One folder under
// two names (the same text, a link, another spelling, a bind mount) would be compared with
// itself; a kernel file system holds the kernel's state, not files anyone keeps.
QString ListingRefusal(Context &ctx, const QString &S, const QString &T);
