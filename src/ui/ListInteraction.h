#pragma once
// What the result lists do when they are used: the status texts of a clicked row, the
// column-header sort rule, opening a row's file or its parent folder.
#include "core/Context.h"
#include <QString>

// The folder part of a path, ending in the separator. Texts shorter than 3 characters, texts
// that already end in the separator and texts without any separator come back unchanged.
QString ParentFolder(const QString &path);

// The status line text for the selected row of a list; false when the row cannot give one
// (no row, or the list needs a second column the row does not have).
bool listStatusText(Ctl list, const QStringList &rowTexts, QString *text);

// The sort rule of a header click: the same header as the key flips the order, another one
// becomes the key, ascending. headerPosition is 1-based.
void nextSortState(int headerPosition, int *sortKey, Qt::SortOrder *order);

// "Item N of M" for Up and Down on the selected row (1-based); empty when the key does not
// move the selection to another row.
QString itemPositionText(int key, int selectedRow, int rowCount);

// Asks whether to open the parent folder or the file itself, then opens that path with the
// desktop.
void OpenFile(Context &ctx, const QString &path);
