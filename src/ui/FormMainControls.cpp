// Building the main window: its controls group by group, the tab order, the menus, and the
// connections from the controls to the window's slots.
#include "ui/formmain.h"
#include "core/Choice.h"
#include "platform/Platform.h"
#include "ui/DriveTree.h"
#include "ui/FolderSelection.h"
#include "ui/FormMainLook.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>

using namespace formlook;

// The order of creation is the order of stacking: a control made later lies above the ones
// made before it where their rectangles overlap.
void formmain::buildControls()
{
    buildClientArea();
    buildResultLists();
    buildButtons();
    buildFolderBoxes();
    buildChoiceControls();
    buildTreeView();
    buildStatusLines();
    buildCounterGrid();
    layerOverlappingControls();
    buildTabOrder();
    nameControls();
}

// The client area carries the window's colour and the font every control inherits.
void formmain::buildClientArea()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setAutoFillBackground(true);
    setRole(client_, QPalette::Window, WindowBack);
    client_->setFont(arial(8));
    setCentralWidget(client_);
}

// Names a control after its entry in the control collection and puts it at its first place.
void formmain::registerControl(Ctl c, int index, QWidget *w)
{
    w->setObjectName(controlObjectName(c, index));
    controls_[key(c, index)].widget = w;
    placeControl(c, index, layout::initialRect(c, index));
}

WrapButton *formmain::addButton(Ctl c, const QString &caption, const QString &tip, const QColor &colour)
{
    auto *b = new WrapButton(caption, client_);
    b->setToolTip(tip);
    if (colour.isValid())
        setRole(b, QPalette::Button, colour);
    else
        standardColours(b);
    registerControl(c, 0, b);
    return b;
}

ClickLabel *formmain::addLabel(Ctl c, int index, const QString &caption, bool statusLine)
{
    ClickLabel *l = statusLine ? new StatusLabel(client_) : new ClickLabel(client_);
    l->setText(caption);
    registerControl(c, index, l);
    return l;
}

// The result lists come first so that everything placed later lies above them. They share one
// rectangle; the source-side lists are cyan, the target-side ones lavender.
void formmain::buildResultLists()
{
    for (int i = 0; i < 5; ++i) {
        const Ctl c = layout::resultLists()[i];
        auto *v = new ResultListView(client_);
        auto *m = new ResultListModel(listHeaders(c), v);
        v->setModel(m);
        lists_[i] = v;
        models_[i] = m;
        if (c == Ctl::LstSizeVariations)
            standardColours(v);
        else
            setRole(v, QPalette::Base, (c == Ctl::LstNewFile || c == Ctl::LstChngFile) ? SourceColour : TargetColour);
        registerControl(c, 0, v);
        v->setVisible(c == Ctl::LstNewFile);
    }
}

// The command buttons; the Copy button waits for a listing, and Enter presses List.
void formmain::buildButtons()
{
    cmdListFile_ = addButton(Ctl::cmdListFile, QStringLiteral("&List Files to Copy"), QStringLiteral("List Files"), QColor(255, 192, 192));
    cmdSync_ = addButton(Ctl::cmdSync, QStringLiteral("&Copy"), QStringLiteral("Sync"), QColor(255, 192, 128));
    cmdSync_->setEnabled(false);
    cmdSync_->setMouseTracking(true);
    cmdStop_ = addButton(Ctl::cmdStop, QStringLiteral("&Stop"), QStringLiteral("Stop"), QColor(255, 128, 128));
    cmdExit_ = addButton(Ctl::cmdExit, QStringLiteral("E&xit"), QStringLiteral("Exit"), QColor(192, 192, 192));
    addButton(Ctl::Command2, QStringLiteral("Open Log"), QStringLiteral("Open Log"), QColor());
    addButton(Ctl::cmdFolderSource, QStringLiteral("..."), QStringLiteral("Change Source"), QColor(128, 255, 255));
    addButton(Ctl::cmdFolderTarget, QStringLiteral("..."), QStringLiteral("Change Target"), QColor(128, 128, 255));
    addButton(Ctl::Command1, QStringLiteral("^v"), QStringLiteral("Swap"), QColor(255, 255, 128));
    addButton(Ctl::Command3, QStringLiteral("S"), QStringLiteral("Select source from treeview"), QColor());
    addButton(Ctl::Command4, QStringLiteral("T"), QStringLiteral("Select target from treeview"), QColor());
    cmdListFile_->setDefault(true);
}

// The two folder boxes, in their sides' colours and taking dropped folders, and the filter.
void formmain::buildFolderBoxes()
{
    txtSource_ = new FolderBox(platform::designSource(), client_);
    txtSource_->setToolTip(QStringLiteral("Source"));
    txtSource_->setFont(arial(9.6));
    setRole(txtSource_, QPalette::Base, SourceColour);
    txtSource_->setAcceptDrops(true);
    registerControl(Ctl::txtSource, 0, txtSource_);
    txtTarget_ = new FolderBox(platform::designTarget(), client_);
    txtTarget_->setToolTip(QStringLiteral("Target"));
    txtTarget_->setFont(arial(9.6));
    setRole(txtTarget_, QPalette::Base, TargetColour);
    txtTarget_->setAcceptDrops(true);
    registerControl(Ctl::txtTarget, 0, txtTarget_);
    txtPattern_ = new QLineEdit(QStringLiteral("*.*"), client_);
    txtPattern_->setToolTip(QStringLiteral("File Filter (*.* all files to include)"));
    standardColours(txtPattern_);
    registerControl(Ctl::txtPattern, 0, txtPattern_);
}

// What the user chooses before a run: skipping orphans, the action choice, and the progress
// bar that takes the choice box's place while a listing or a run is busy.
void formmain::buildChoiceControls()
{
    auto *chk = new WrapCheckBox(QStringLiteral("&Skip Orphan Files"), client_);
    chk->setToolTip(QStringLiteral("Skip New file in target not found in source"));
    chk->setAutoFillBackground(true);
    chk->setBackgroundRole(QPalette::Window);
    setRole(chk, QPalette::Window, WindowBack);
    registerControl(Ctl::chkSkipOrphanCk, 0, chk);

    cboChoices_ = new QComboBox(client_);
    cboChoices_->setEditable(true);
    cboChoices_->setInsertPolicy(QComboBox::NoInsert);
    cboChoices_->setEditText(QStringLiteral("cboChoices"));
    cboChoices_->setToolTip(QStringLiteral("Select Creteria for Action"));
    standardColours(cboChoices_);
    registerControl(Ctl::cboChoices, 0, cboChoices_);

    pball_ = new QProgressBar(client_);
    pball_->setRange(0, 100);
    pball_->setValue(0);
    pball_->setTextVisible(false);
    standardColours(pball_);
    registerControl(Ctl::pball, 0, pball_);
    // Until a listing or a run shows it, the bar leaves the choice box under it visible.
    pball_->setVisible(false);
}

void formmain::buildTreeView()
{
    tree_ = new DriveTree(client_);
    tree_->setToolTip(QStringLiteral("Treeview"));
    tree_->setFont(arial(9.6));
    registerControl(Ctl::TreeView1, 0, tree_);
}

ClickLabel *formmain::addStatusLine(Ctl c, const QString &caption)
{
    ClickLabel *l = addLabel(c, 0, caption, true);
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setAutoFillBackground(true);
    standardColours(l);
    return l;
}

// Status lines: bordered, wrapping; a text too long for the rectangle is drawn smaller.
void formmain::buildStatusLines()
{
    addStatusLine(Ctl::lblListStatus, QStringLiteral("Ready"))->setToolTip(QStringLiteral("Status of the current work"));
    addStatusLine(Ctl::lblListStatus1, QStringLiteral("No items in list yet."));
    lblListFileStatus_ = addStatusLine(Ctl::lblListFileStatus, QString());
    lblListFileStatus_->setMouseTracking(true);
}

// The counter grid: a caption row, a pair of counters (source, target) per column, and the
// folder queue shown while the source is scanned.
void formmain::buildCounterGrid()
{
    const QStringList captions = {"Files Found", "Folders Found", "Folder Size", "<Last saved>",
                                  "New Files\\Folders", "Changed Files", "< Orphan >"};
    for (int i = 0; i < 7; ++i) {
        ClickLabel *l = addLabel(Ctl::Label1, i, captions.at(i));
        l->setAlignment(Qt::AlignCenter);
        // Only the two-line captions wrap; the others stay on their one line.
        l->setWordWrap(layout::initialRect(Ctl::Label1, i).height() >= 360);
        if (i == 3 || i == 6) {
            l->setAutoFillBackground(true);
            standardColours(l);
        }
    }
    for (Ctl c : CounterLabels)
        for (int i = 0; i < 2; ++i) {
            ClickLabel *l = addLabel(c, i, QStringLiteral("0"));
            l->setAlignment(Qt::AlignCenter);
            l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            l->setWordWrap(true);
            l->setAutoFillBackground(true);
            setRole(l, QPalette::Window, i == 0 ? SourceColour : TargetColour);
            l->setCursor(Qt::PointingHandCursor);
        }
    for (Ctl c : {Ctl::lblFoldQ, Ctl::lblFoldersQ}) {
        ClickLabel *l = addLabel(c, 0, c == Ctl::lblFoldQ ? QStringLiteral("Folder Queue:") : QStringLiteral("0"));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setVisible(false);
    }
}

// The Stop button lies over the Copy button; the progress bar over the choice box.
void formmain::layerOverlappingControls()
{
    cmdStop_->raise();
    cmdStop_->setEnabled(false);
    cmdStop_->setVisible(false);
    pball_->raise();
}

// Tab order of the controls that take the focus; labels and the progress bar take none.
void formmain::buildTabOrder()
{
    const QList<QWidget *> tabs = {
        txtSource_, control(Ctl::cmdFolderSource), txtTarget_, control(Ctl::cmdFolderTarget),
        cmdListFile_, cmdStop_, cmdSync_, cmdExit_, control(Ctl::chkSkipOrphanCk), cboChoices_,
        lists_[0], lists_[1], lists_[2], lists_[3], lists_[4],
        control(Ctl::Command1), control(Ctl::Command2), txtPattern_, tree_,
        control(Ctl::Command3), control(Ctl::Command4),
    };
    for (qsizetype i = 1; i < tabs.size(); ++i)
        QWidget::setTabOrder(tabs.at(i - 1), tabs.at(i));
    for (auto it = controls_.cbegin(); it != controls_.cend(); ++it)
        if (it->widget && qobject_cast<QLabel *>(it->widget))
            it->widget->setFocusPolicy(Qt::NoFocus);
    pball_->setFocusPolicy(Qt::NoFocus);
    // The focus starts where the tab order starts, so that the keys work from the first
    // moment the window shows.
    txtSource_->setFocus(Qt::OtherFocusReason);
}

void formmain::buildMenus()
{
    auto reg = [this](Ctl c, int index, QAction *a) {
        a->setObjectName(controlObjectName(c, index));
        controls_[key(c, index)].action = a;
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("File"));
    reg(Ctl::mnulstFile, 0, file->addAction(QStringLiteral("List File"), this, &formmain::mnulstFile_Click));
    reg(Ctl::mnuCopy, 0, file->addAction(QStringLiteral("Copy"), this, &formmain::mnuCopy_Click));
    reg(Ctl::viewlog, 0, file->addAction(QStringLiteral("View Log"), this, &formmain::viewlog_Click));

    QMenu *opt = menuBar()->addMenu(QStringLiteral("Options"));
    opt->setObjectName(QStringLiteral("opt"));
    for (Choice choice : AllChoices) {
        const int k = menuItemOf(choice);
        QAction *a = opt->addAction(QString());
        a->setCheckable(true);
        reg(Ctl::itm, k, a);
        connect(a, &QAction::triggered, this, [this, a, k](bool checked) {
            // The check marks belong to the choice routines: undo the menu's own toggle.
            a->setChecked(!checked);
            itm_Click(k);
        });
    }
    QAction *abt = menuBar()->addAction(QStringLiteral("About"));
    reg(Ctl::Abt, 0, abt);
    connect(abt, &QAction::triggered, this, &formmain::Abt_Click);

    // The menus carry no access keys: F10 opens the first one, and the arrow keys walk from
    // there through every item and menu.
    auto *openMenus = new QAction(this);
    openMenus->setShortcut(QKeySequence(Qt::Key_F10));
    openMenus->setShortcutContext(Qt::WindowShortcut);
    addAction(openMenus);
    connect(openMenus, &QAction::triggered, this, [this] { menuBar()->setActiveAction(menuBar()->actions().value(0)); });
}

// The buttons' and boxes' signals to the window's slots, and the events the window watches on
// its controls.
void formmain::wireControls()
{
    connect(cmdListFile_, &QPushButton::clicked, this, &formmain::cmdListFile_Click);
    connect(cmdSync_, &QPushButton::clicked, this, &formmain::cmdSync_Click);
    connect(cmdStop_, &QPushButton::clicked, this, &formmain::cmdStop_Click);
    connect(cmdExit_, &QPushButton::clicked, this, &formmain::cmdExit_Click);
    auto btn = [this](Ctl c) { return static_cast<WrapButton *>(control(c)); };
    connect(btn(Ctl::Command2), &QPushButton::clicked, this, &formmain::Command2_Click);
    connect(btn(Ctl::cmdFolderSource), &QPushButton::clicked, this, &formmain::cmdFolderSource_Click);
    connect(btn(Ctl::cmdFolderTarget), &QPushButton::clicked, this, &formmain::cmdFolderTarget_Click);
    connect(btn(Ctl::cmdFolderSource), &WrapButton::rightPressed, this, &formmain::cmdFolderSource_RightPress);
    connect(btn(Ctl::cmdFolderTarget), &WrapButton::rightPressed, this, &formmain::cmdFolderTarget_RightPress);
    connect(btn(Ctl::Command1), &QPushButton::clicked, this, &formmain::Command1_Click);
    connect(btn(Ctl::Command3), &QPushButton::clicked, this, &formmain::Command3_Click);
    connect(btn(Ctl::Command4), &QPushButton::clicked, this, &formmain::Command4_Click);
    // A user's pick from the list (mouse, keys, wheel); the program's selections raise the
    // same handler from setValue.
    connect(cboChoices_, &QComboBox::activated, this, &formmain::cboChoices_Click);
    // A choice longer than the box shows its beginning, unless the user is typing in it.
    connect(cboChoices_, &QComboBox::editTextChanged, this, [this] {
        if (QLineEdit *e = cboChoices_->lineEdit(); e && !e->hasFocus())
            e->setCursorPosition(0);
    });

    for (Ctl c : CounterLabels)
        for (int i = 0; i < 2; ++i)
            connect(static_cast<ClickLabel *>(control(c, i)), &ClickLabel::clicked, this,
                    [this, c, i] { counterLabel_Click(c, i); });

    connect(txtPattern_, &QLineEdit::textChanged, this, &formmain::txtPattern_Change);
    txtPattern_->installEventFilter(this);
    lblListFileStatus_->installEventFilter(this);
    cmdSync_->installEventFilter(this);
    txtSource_->takeDrop = [this](const QStringList &p) { return idle() && DropOnFolderBox(*ctx_, Ctl::txtSource, p); };
    txtTarget_->takeDrop = [this](const QStringList &p) { return idle() && DropOnFolderBox(*ctx_, Ctl::txtTarget, p); };
    wireResultLists();
}

void formmain::wireResultLists()
{
    for (int i = 0; i < 5; ++i) {
        const Ctl c = layout::resultLists()[i];
        ResultListView *v = lists_[i];
        connect(v, &ResultListView::listClicked, this, [this, c] { ListClick(c); });
        connect(v, &ResultListView::listDoubleClicked, this, [this, c] { ListDblClick(c); });
        connect(v, &ResultListView::keyAboutToMove, this, [this, c](int k) { ListKeyDown(c, k); });
        connect(v->header(), &QHeaderView::sectionClicked, this, [this, c](int section) { LV_ColumnSort(c, section + 1); });
    }
    connect(tree_, &DriveTree::nodeClicked, this, &formmain::TreeNodeClick);
}
