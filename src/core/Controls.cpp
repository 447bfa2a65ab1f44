#include "core/Controls.h"

QString controlName(Ctl c)
{
    static const char *const names[] = {
        "formmain",
        "cmdListFile", "cmdSync", "cmdStop", "cmdExit", "Command1", "Command2", "Command3", "Command4",
        "cmdFolderSource", "cmdFolderTarget",
        "txtSource", "txtTarget", "txtPattern", "chkSkipOrphanCk", "cboChoices", "pball",
        "LstNewFile", "LstChngFile", "LstChngFileTarget", "LstSizeVariations", "LstOrphans",
        "TreeView1",
        "lblListStatus", "lblListStatus1", "lblListFileStatus",
        "lblTotalSize", "lblTotalFiles", "lblTotalFolders", "lblNewFiles", "lblChngFiles",
        "Label1",
        "lblFoldQ", "lblFoldersQ",
        "mnulstFile", "mnuCopy", "viewlog",
        "itm",
        "Abt",
    };
    static_assert(sizeof(names) / sizeof(names[0]) == int(Ctl::Count_));
    return QString::fromLatin1(names[int(c)]);
}

bool isControlArray(Ctl c)
{
    switch (c) {
    case Ctl::lblTotalSize: case Ctl::lblTotalFiles: case Ctl::lblTotalFolders:
    case Ctl::lblNewFiles: case Ctl::lblChngFiles: case Ctl::Label1: case Ctl::itm:
        return true;
    default:
        return false;
    }
}

QString controlObjectName(Ctl c, int index)
{
    if (c == Ctl::itm)
        return QStringLiteral("itm%1").arg(index);
    if (isControlArray(c))
        return controlName(c) + QLatin1Char('_') + QString::number(index);
    return controlName(c);
}
