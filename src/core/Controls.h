#pragma once
// The named controls of the main window, as the engine addresses them.
// A control array (the counter labels, Label1, the Options items) takes an index.
#include <QString>

enum class Ctl {
    Form,               // the window itself: its text is the caption
    cmdListFile, cmdSync, cmdStop, cmdExit, Command1, Command2, Command3, Command4,
    cmdFolderSource, cmdFolderTarget,
    txtSource, txtTarget, txtPattern, chkSkipOrphanCk, cboChoices, pball,
    LstNewFile, LstChngFile, LstChngFileTarget, LstSizeVariations, LstOrphans,
    TreeView1,
    lblListStatus, lblListStatus1, lblListFileStatus,
    lblTotalSize, lblTotalFiles, lblTotalFolders, lblNewFiles, lblChngFiles, // index 0 source, 1 target
    Label1,             // index 0..6
    lblFoldQ, lblFoldersQ,
    mnulstFile, mnuCopy, viewlog,
    itm,                // index 1..7: the Options menu items itm1 to itm7
    Abt,
    Count_
};

// The objectName of a control (for arrays the base name; itm k is "itm" + k and the
// label arrays carry "_" + index, e.g. "lblTotalFiles_1").
QString controlName(Ctl c);
QString controlObjectName(Ctl c, int index);
bool isControlArray(Ctl c);
