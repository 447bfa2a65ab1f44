// The main window's course: its making, the engine events it raises, its own events (activation,
// resizing, closing, keys), its slots, and the work on the result lists and the drive tree.
#include "ui/formmain.h"
#include "app/Events.h"
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
    : QMainWindow(parent), ctx_(std::make_unique<Context>(this)), dialogs_(std::make_unique<DialogAsker>(this))
{
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
    removeWatchers();
}

// ---------------------------------------------------------------------------------------
// Engine events

void formmain::engineEvent(WinEvent e, int a, int b)
{
    Context &c = *ctx_;
    try {
        switch (e) {
        case WinEvent::Load: FormLoad(c, loadWords_); break;
        case WinEvent::Activate: FormActivate(c, a != 0); break;
        case WinEvent::QueryUnload: FormQueryUnload(c); break;
        case WinEvent::ExitClick: CmdExitClick(c); break;
        case WinEvent::OpenLogClick: OpenLogClick(c); break;
        case WinEvent::StopClick: CmdStopClick(c); break;
        case WinEvent::ListFileClick: CmdListFileClick(c); break;
        case WinEvent::CounterLabelClick: CounterLabelClick(c, Ctl(a), b); break;
        case WinEvent::ChoicesClick: CboChoicesClick(c); break;
        case WinEvent::ItmClick: ItmClick(c, a); break;
        case WinEvent::SyncClick: CmdSyncClick(c); break;
        }
        // An Exit that came while a listing or a run was on the call stack closes now that
        // it has unwound (nothing while it still has not).
        ExitIfAsked(c);
    } catch (const AppError &err) {
        // A handler's failure must not take the event loop down: it is logged and skipped.
        c.log.writeDated(QStringLiteral(" Error ") + QString::number(err.Number) + QStringLiteral(" ") + err.Description);
    } catch (const std::exception &) {
    }
}

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
        if (ctx_->listingBusy || ctx_->runBusy) {
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
        if (o == txtPattern_)
            PatternLostFocus(*ctx_);
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(o, e);
}

// ---------------------------------------------------------------------------------------
// Slots

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

void formmain::cmdFolderSource_Click() { FolderButtonClick(*ctx_, Ctl::txtSource); }
void formmain::cmdFolderTarget_Click() { FolderButtonClick(*ctx_, Ctl::txtTarget); }
void formmain::cmdFolderSource_RightPress() { FolderButtonRightPress(*ctx_, Ctl::txtSource); }
void formmain::cmdFolderTarget_RightPress() { FolderButtonRightPress(*ctx_, Ctl::txtTarget); }
void formmain::Command1_Click() { SwapFolders(*ctx_); }
void formmain::Command3_Click() { SelectFromTree(Ctl::txtSource); }
void formmain::Command4_Click() { SelectFromTree(Ctl::txtTarget); }
void formmain::txtPattern_Change() { PatternChanged(*ctx_); }

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
    if (r < 0)
        return;
    OpenFile(*ctx_, listModel(list)->text(r, 0));
}

void formmain::LV_ColumnSort(Ctl list, int headerPosition)
{
    ResultListModel *m = listModel(list);
    ResultListView *v = listView(list);
    if (!m || headerPosition < 1 || headerPosition > m->columnCount())
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
    if (!FolderBoxOpen(*ctx_, box))
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
