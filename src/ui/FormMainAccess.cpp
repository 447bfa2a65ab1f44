// The main window for assistive tools: every control a person can reach is named by what it is
// or does, the counters by the caption above them, and each caption is tied to its value. A
// counter or status line is heard with its current value ("Files found in the source: 6").
#include "ui/DriveTree.h"
#include "ui/formmain.h"
#include "ui/Widgets.h"
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace {

struct ControlName {
    Ctl control;
    int index;
    const char *name;
    bool value = false;   // a label whose text is a value: named "name: text"
};

// The names of the controls, the two counters of each column (source, target) included. The
// target's new files are the orphans and its changed files those last saved on the target, as
// the captions below them say.
constexpr ControlName ControlNames[] = {
    {Ctl::txtSource, 0, "Source folder"},
    {Ctl::txtTarget, 0, "Target folder"},
    {Ctl::txtPattern, 0, "File filter"},
    {Ctl::cmdFolderSource, 0, "Browse for the source folder"},
    {Ctl::cmdFolderTarget, 0, "Browse for the target folder"},
    {Ctl::Command1, 0, "Swap source and target"},
    {Ctl::Command2, 0, "Open the run log"},
    {Ctl::Command3, 0, "Take the source folder from the tree"},
    {Ctl::Command4, 0, "Take the target folder from the tree"},
    {Ctl::cmdListFile, 0, "List the files to copy"},
    {Ctl::cmdSync, 0, "Copy: carry out the chosen action"},
    {Ctl::cmdStop, 0, "Stop the listing or the copy"},
    {Ctl::cmdExit, 0, "Exit"},
    {Ctl::chkSkipOrphanCk, 0, "Skip orphan files"},
    {Ctl::cboChoices, 0, "Action to carry out"},
    {Ctl::pball, 0, "Progress"},
    {Ctl::TreeView1, 0, "Drives and folders"},
    {Ctl::LstNewFile, 0, "List of new files and folders in the source"},
    {Ctl::LstChngFile, 0, "List of files changed in the source"},
    {Ctl::LstChngFileTarget, 0, "List of files changed in the target"},
    {Ctl::LstSizeVariations, 0, "List of files whose sizes differ"},
    {Ctl::LstOrphans, 0, "List of orphans: files and folders found only in the target"},
    {Ctl::lblListStatus, 0, "Status", true},
    {Ctl::lblListStatus1, 0, "List status", true},
    {Ctl::lblListFileStatus, 0, "Current file", true},
    {Ctl::lblFoldQ, 0, "Folder queue caption"},
    {Ctl::lblFoldersQ, 0, "Folders in the queue", true},
    {Ctl::lblTotalFiles, 0, "Files found in the source", true},
    {Ctl::lblTotalFiles, 1, "Files found in the target", true},
    {Ctl::lblTotalFolders, 0, "Folders found in the source", true},
    {Ctl::lblTotalFolders, 1, "Folders found in the target", true},
    {Ctl::lblTotalSize, 0, "Folder size of the source", true},
    {Ctl::lblTotalSize, 1, "Folder size of the target", true},
    {Ctl::lblNewFiles, 0, "New files and folders in the source", true},
    {Ctl::lblNewFiles, 1, "Orphans in the target", true},
    {Ctl::lblChngFiles, 0, "Changed files, newer in the source", true},
    {Ctl::lblChngFiles, 1, "Changed files, last saved in the target", true},
};

// Each counter caption (Label1 index) and the value it stands over or under.
struct CaptionOf {
    int caption;
    Ctl value;
    int side;
};
constexpr CaptionOf CounterCaptions[] = {
    {0, Ctl::lblTotalFiles, 0}, {1, Ctl::lblTotalFolders, 0}, {2, Ctl::lblTotalSize, 0},
    {4, Ctl::lblNewFiles, 0},   {5, Ctl::lblChngFiles, 0},    {6, Ctl::lblNewFiles, 1},
    {3, Ctl::lblChngFiles, 1},
};

} // namespace

void formmain::nameControls()
{
    for (const ControlName &n : ControlNames) {
        QWidget *w = control(n.control, n.index);
        if (!w)
            continue;
        if (auto *label = qobject_cast<ClickLabel *>(w); label && n.value)
            label->setSpokenCaption(QString::fromLatin1(n.name));
        else
            w->setAccessibleName(QString::fromLatin1(n.name));
    }
    cboChoices_->view()->setAccessibleName(QStringLiteral("Actions to choose from"));
    if (QLineEdit *edit = cboChoices_->lineEdit())
        edit->setAccessibleName(QStringLiteral("Chosen action"));
    // A caption labels its value: assistive tools read the pair together.
    for (const CaptionOf &c : CounterCaptions)
        static_cast<ClickLabel *>(control(Ctl::Label1, c.caption))->setBuddy(control(c.value, c.side));
}
