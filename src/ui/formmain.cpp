// The main window's course: its making, the engine events it raises, its own events (activation,
// resizing, closing, keys), its slots, and the work on the result lists and the drive tree.
#include "ui/formmain.h"
#include "app/EngineWork.h"
#include "app/Events.h"
#include "app/ThreadHost.h"
#include "core/Errors.h"
#include "platform/Platform.h"
#include "ui/DialogAsker.h"
#include "ui/DriveTree.h"
#include "ui/FolderSelection.h"
#include "ui/FormMainLook.h"
#include "ui/ListInteraction.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QTimer>
#include <QWindowStateChangeEvent>

formmain::formmain(QWidget *parent)
    : QMainWindow(parent), host_(std::make_unique<ThreadHost>(*this, *this)), ctx_(std::make_unique<Context>(host_.get())),
      dialogs_(std::make_unique<DialogAsker>(this))
{
    work_ = new EngineWork(this);
    stopBound_ = new QTimer(this);
    stopBound_->setSingleShot(true);
    connect(stopBound_, &QTimer::timeout, this, &formmain::giveUpWaiting);
    setObjectName(QStringLiteral("formmain"));
    setWindowTitle(QStringLiteral("Quorvel Marnisyn"));
    setWindowIcon(formlook::programIcon());
    buildControls();
    buildMenus();
    wireControls();
    setWindowTwips(layout::initialRect(Ctl::Form));
    Form_Resize();
    installWatchers();
}

formmain::~formmain()
{
    // Work still under way stands on this window's state: it is stopped and waited for.
    if (!idle()) {
        ctx_->StopRequested = true;
        host_->releaseAll();
        waitForWork(kStopBoundMs);
    }
    removeWatchers();
}

// ---------------------------------------------------------------------------------------
// The window's own events

bool formmain::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::WindowActivate:
        windowActivated();
        break;
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        QTimer::singleShot(0, this, &formmain::fitFrame);
        break;
    default:
        break;
    }
    return QMainWindow::event(e);
}

void formmain::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

void formmain::changeEvent(QEvent *e)
{
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange) {
        auto *sc = static_cast<QWindowStateChangeEvent *>(e);
        if ((sc->oldState() & Qt::WindowMinimized) && !isMinimized())
            Form_Resize();
    }
}

void formmain::closeEvent(QCloseEvent *e)
{
    if (!closed_ && !programClose_) {
        // A close while a listing or a run is busy is an Exit: their loops end at the next
        // test, and the window closes once they have unwound, their last lines logged.
        if (!idle() || ctx_->listingBusy || ctx_->runBusy) {
            e->ignore();
            engineEvent(WinEvent::ExitClick);
            return;
        }
        engineEvent(WinEvent::QueryUnload);
    }
    closed_ = true;
    e->accept();
}

void formmain::keyPressEvent(QKeyEvent *e)
{
    // Keys that the focused control leaves alone arrive here. A pop-up (the choice list, a
    // menu) is a window of its own: the keys it takes never reach the window's buttons.
    if (popupKey_ != 0 && popupKey_ == e->key()) {
        popupKey_ = 0;
        e->accept();
        return;
    }
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        // Enter presses the button that has the focus, any other time the List button.
        auto *focused = qobject_cast<QPushButton *>(focusWidget());
        QPushButton *target = (focused && focused->hasFocus()) ? focused : cmdListFile_;
        if (!e->isAutoRepeat() && target->isEnabled() && target->isVisible())
            target->click();
        e->accept();
        return;
    }
    if (plain && e->key() == Qt::Key_Escape) {
        if (!e->isAutoRepeat() && cmdExit_->isEnabled() && cmdExit_->isVisible())
            cmdExit_->click();
        e->accept();
        return;
    }
    QMainWindow::keyPressEvent(e);
}

bool formmain::eventFilter(QObject *o, QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseMove:
        // Tooltip mirrors: a status text too long for its control can be read in full.
        if (o == lblListFileStatus_)
            lblListFileStatus_->setToolTip(lblListFileStatus_->text());
        else if (o == cmdSync_)
            cmdSync_->setToolTip(cmdSync_->text());
        break;
    case QEvent::FocusOut:
        if (o == txtPattern_ && idle())
            PatternLostFocus(*ctx_);
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(o, e);
}

// ---------------------------------------------------------------------------------------
// Slots. While a listing or a run is under way the window's own handlers that read or change
// the state it works on (the folders, the pattern, the lists) wait for nothing: they do nothing.

void formmain::cmdListFile_Click() { engineEvent(WinEvent::ListFileClick); }
void formmain::cmdSync_Click() { engineEvent(WinEvent::SyncClick); }
void formmain::cmdStop_Click() { engineEvent(WinEvent::StopClick); }
void formmain::cmdExit_Click() { engineEvent(WinEvent::ExitClick); }
void formmain::Command2_Click() { engineEvent(WinEvent::OpenLogClick); }
void formmain::mnulstFile_Click() { cmdListFile_Click(); }
void formmain::mnuCopy_Click() { cmdSync_Click(); }
void formmain::viewlog_Click() { Command2_Click(); }
void formmain::itm_Click(int k) { engineEvent(WinEvent::ItmClick, k); }
void formmain::cboChoices_Click() { engineEvent(WinEvent::ChoicesClick); }
void formmain::counterLabel_Click(Ctl label, int index) { engineEvent(WinEvent::CounterLabelClick, int(label), index); }

void formmain::Abt_Click()
{
    ask(messageBox(windowTitle(), Buttons::Ok, QStringLiteral("About"), Icon::Information));
}

void formmain::cmdFolderSource_Click() { if (idle()) FolderButtonClick(*ctx_, Ctl::txtSource); }
void formmain::cmdFolderTarget_Click() { if (idle()) FolderButtonClick(*ctx_, Ctl::txtTarget); }
void formmain::cmdFolderSource_RightPress() { if (idle()) FolderButtonRightPress(*ctx_, Ctl::txtSource); }
void formmain::cmdFolderTarget_RightPress() { if (idle()) FolderButtonRightPress(*ctx_, Ctl::txtTarget); }
void formmain::Command1_Click() { if (idle()) SwapFolders(*ctx_); }
void formmain::Command3_Click() { SelectFromTree(Ctl::txtSource); }
void formmain::Command4_Click() { SelectFromTree(Ctl::txtTarget); }
void formmain::txtPattern_Change() { if (idle()) PatternChanged(*ctx_); }

// ---------------------------------------------------------------------------------------
// Result lists

void formmain::ListClick(Ctl list)
{
    ResultListView *v = listView(list);
    ResultListModel *m = listModel(list);
    if (!v)
        return;
    const int r = v->selectedRow();
    if (r >= 0) {
        QStringList texts;
        for (int col = 0; col < m->textCount(r); ++col)
            texts << m->text(r, col);
        QString status;
        if (listStatusText(list, texts, &status))
            setText(Ctl::lblListStatus, status);
    }
    v->setToolTip(text(Ctl::lblListStatus));
}

void formmain::ListKeyDown(Ctl list, int key)
{
    ListClick(list);
    ResultListView *v = listView(list);
    if (!v)
        return;
    const QString position = itemPositionText(key, v->selectedRow() + 1, rowCount(list));
    if (!position.isEmpty())
        v->setToolTip(position);
}

void formmain::ListDblClick(Ctl list)
{
    ResultListView *v = listView(list);
    if (!v)
        return;
    const int r = v->selectedRow();
    if (r < 0 || !idle())
        return;
    OpenFile(*ctx_, listModel(list)->text(r, 0));
}

void formmain::LV_ColumnSort(Ctl list, int headerPosition)
{
    ResultListModel *m = listModel(list);
    ResultListView *v = listView(list);
    if (!m || headerPosition < 1 || headerPosition > m->columnCount() || !idle())
        return;
    nextSortState(headerPosition, &m->SortKey, &m->SortOrder);
    m->Sorted = true;
    m->sortByColumn(m->SortKey, m->SortOrder);
    v->header()->setSortIndicatorShown(true);
    v->header()->setSortIndicator(m->SortKey, m->SortOrder);
    if (v->currentIndex().isValid())
        v->scrollTo(v->currentIndex());
}

// ---------------------------------------------------------------------------------------
// Folder selection with the tree

void formmain::BuildDriveTree()
{
    tree_->BuildDriveTree(platform::browsableVolumes());
}

void formmain::TreeNodeClick(QTreeWidgetItem *node)
{
    tree_->nodeClick(node);
}

void formmain::SelectFromTree(Ctl box)
{
    if (!idle() || !FolderBoxOpen(*ctx_, box))
        return;
    QTreeWidgetItem *node = tree_->selectedNode();
    if (!node)
        return;
    // The node's key is the exact path; its texts are names as shown.
    const QString path = DriveTree::key(node).isEmpty() ? DriveTree::fullPath(node) : DriveTree::key(node);
    if (path.isEmpty())
        return;
    const bool source = box == Ctl::txtSource;
    ask(messageBox((source ? QStringLiteral("Source Location : ") : QStringLiteral("Target Location : ")) + path,
                   Buttons::Ok, ctx_->appTitle()));
    const QPalette &side = (source ? txtSource_ : txtTarget_)->palette();
    node->setBackground(0, side.color(QPalette::Base));
    node->setForeground(0, side.color(QPalette::Text));
    setText(box, path);
}
