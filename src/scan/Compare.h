#pragma once
#include "core/Context.h"
#include "core/Errors.h"

// Classifies every entry of the source listing (the listing's source list) against the target: new items,
// files newer on the source, files newer on the target, files of a different length.
void CompareSourceWithTarget(Context &ctx);

// The failure of a source item whose name differs only in case from an earlier one of its
// folder, when the target holds one file for both (`path`, the item's target path; `other`,
// the earlier item's).
struct CaseClashError : AppError {
    using AppError::AppError;
};
CaseClashError CaseClash(const QString &path, const QString &other);
