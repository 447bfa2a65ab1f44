#pragma once
// The ways a path gets into the source and target boxes that do not need the folder tree:
// the browse dialogs of the "..." buttons, the swap button, folders dropped on a box, and the
// file filter box's rules. Everything goes through the window interface, so the same routines
// run against the real window and against a recording host.
#include "core/Context.h"

// Whether a box may be written now. A listing or a copy run reads the folder texts while it
// works and disables both boxes meanwhile; every way of choosing a folder leaves a disabled
// box alone, so the folders cannot change under a running listing or copy.
bool FolderBoxOpen(Context &ctx, Ctl box);

// The title of the left-click browse dialog (the same for source and target).
QString browseTitle();
// The titles of the right-click browse dialog.
QString rootedBrowseTitle(Ctl box);

// Asks for a folder, starting at initialPath; the chosen path, or empty when cancelled.
QString BrowseForFolder(Context &ctx, const QString &initialPath);

// Left click on cmdFolderSource / cmdFolderTarget: browse from the box's folder (the home
// folder when the box is empty) and put the chosen folder into the box.
void FolderButtonClick(Context &ctx, Ctl box);
// Right-button press on the same buttons: browse below the box's folder.
void FolderButtonRightPress(Context &ctx, Ctl box);

// Command1: the two boxes exchange their texts.
void SwapFolders(Context &ctx);

bool IsExistingFolder(const QString &path);
// Paths dropped on a box: the first one becomes the box's text when it is an existing folder.
// True when the drop was taken.
bool DropOnFolderBox(Context &ctx, Ctl box, const QStringList &paths);

// txtPattern: an emptied (or all-blank) filter becomes "*.*" at once; leaving the box trims it.
void PatternChanged(Context &ctx);
void PatternLostFocus(Context &ctx);
