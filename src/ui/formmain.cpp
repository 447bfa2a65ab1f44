#include "ui/formmain.h"
#include "core/Errors.h"
#include "app/Events.h"
#include "core/Format.h"
#include "platform/Platform.h"
#include "ui/DialogAsker.h"
#include "ui/DriveTree.h"
#include "ui/FolderSelection.h"
#include "ui/ListInteraction.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QWindowStateChangeEvent>

namespace {

const QColor WindowBack(255, 255, 192);
const QColor SourceColour(192, 255, 255);   // cyan: the source side
const QColor TargetColour(192, 192, 255);   // lavender: the target side

void setRole(QWidget *w, QPalette::ColorRole role, const QColor &c)
{
    QPalette p = w->palette();
    p.setColor(role, c);
    w->setPalette(p);
}

// A widget that keeps the standard colours whatever its parent uses.
void standardColours(QWidget *w)
{
    const QPalette app = QApplication::palette(w);
    QPalette p = w->palette();
    for (int g = 0; g < QPalette::NColorGroups; ++g)
        for (int r = 0; r < QPalette::NColorRoles; ++r) {
            const auto group = QPalette::ColorGroup(g);
            const auto role = QPalette::ColorRole(r);
            p.setBrush(group, role, app.brush(group, role));
        }
    w->setPalette(p);
}

// The window's layout is measured for Arial. Where Arial itself is missing, a font with the
// same metrics stands in (fontconfig's alias gives one; they are named as well in case it
// does not), so that every caption fits its fixed rectangle.
QFont arial(double points)
{
    QFont f(QStringLiteral("Arial"));
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
    f.setPointSizeF(points);
    return f;
}

const Ctl CounterLabels[5] = {Ctl::lblTotalSize, Ctl::lblTotalFolders, Ctl::lblTotalFiles,
                              Ctl::lblNewFiles, Ctl::lblChngFiles};

QStringList listHeaders(Ctl list)
{
    switch (list) {
    case Ctl::LstNewFile: return {"File\\Folder Path ", "Type", "Source Date", "Size"};
    case Ctl::LstChngFile: return {"File Name", "Source Date", "Target Date", "Source Size", "Target Size"};
    case Ctl::LstChngFileTarget: return {"Filename", "Source Date", "Target Date", "Source Size", "Target Size"};
    case Ctl::LstSizeVariations: return {"File Name", "Source Size", "Target Size", "Target Path"};
    case Ctl::LstOrphans: return {"File\\Folder Path ", "Type", "Target Date", "Target Size"};
    default: return {};
    }
}

// Pixels a date column needs for a full date and time and for its caption.
int dateColumnPixels(const QTreeView *v, const QString &caption)
{
    const QFontMetrics fm(v->font());
    int text = 0;
    // The widest forms: two-digit month, day and hour.
    for (int hour : {10, 22})
        text = qMax(text, fm.horizontalAdvance(GeneralDate(QDateTime(QDate(2026, 12, 28), QTime(hour, 58, 58)))));
    // A cell keeps a margin at either side of its text.
    const int cellMargins = 2 * (v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1);
    const QHeaderView *h = v->header();
    const int headerMargins = 2 * h->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
    return qMax(text + cellMargins, QFontMetrics(h->font()).horizontalAdvance(caption) + headerMargins) + 2;
}

} // namespace

// Watches every window of the program becoming active, so that the main window knows where
// its own activation came from.
class formmain::ActivationWatch : public QObject {
public:
    explicit ActivationWatch(formmain *w) : QObject(w), w_(w) {}
protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::WindowActivate && o != w_ && o->isWidgetType() && static_cast<QWidget *>(o)->isWindow()) {
            w_->lastOtherActive_ = static_cast<QWidget *>(o);
            w_->lastOtherWasQuestion_ = w_->askDepth_ > 0;
            w_->appWasInactive_ = false;
        }
        return false;
    }
private:
    formmain *w_;
};

// Notes the keys that go down while a pop-up of the program (the choice list, a menu) is open.
// Such a key belongs to the pop-up even when the pop-up closes on it and the platform then
// hands the key press to the main window.
class formmain::PopupKeyWatch : public QObject {
public:
    explicit PopupKeyWatch(formmain *w) : QObject(w), w_(w) {}
protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        // A key press is offered as a shortcut first, to the window and then on to its
        // controls; a pop-up may close on it on the way.
        if (e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) {
            if (QApplication::activePopupWidget())
                w_->popupKey_ = static_cast<QKeyEvent *>(e)->key();
            else if (e->type() == QEvent::ShortcutOverride && o->isWindowType())
                w_->popupKey_ = 0;   // a new key, pressed with no pop-up open
        } else if (e->type() == QEvent::KeyRelease) {
            w_->popupKey_ = 0;
        }
        return false;
    }
private:
    formmain *w_;
};

formmain::formmain(QWidget *parent)
    : QMainWindow(parent), ctx_(std::make_unique<Context>(this)), dialogs_(std::make_unique<DialogAsker>(this))
{
    setObjectName(QStringLiteral("formmain"));
    setWindowTitle(QStringLiteral("Quorvel Marnisyn"));
    buildControls();
    buildMenus();
    wireControls();
    setWindowTwips(layout::initialRect(Ctl::Form));
    Form_Resize();

    if (qApp) {
        activationWatch_ = new ActivationWatch(this);
        qApp->installEventFilter(activationWatch_);
        popupKeyWatch_ = new PopupKeyWatch(this);
        qApp->installEventFilter(popupKeyWatch_);
        connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
            if (s != Qt::ApplicationActive)
                appWasInactive_ = true;
        });
    }
}

formmain::~formmain()
{
    if (qApp && activationWatch_)
        qApp->removeEventFilter(activationWatch_);
    if (qApp && popupKeyWatch_)
        qApp->removeEventFilter(popupKeyWatch_);
}


// ---------------------------------------------------------------------------------------
// Building the window

void formmain::buildControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    client_->setAutoFillBackground(true);
    setRole(client_, QPalette::Window, WindowBack);
    client_->setFont(arial(8));
    setCentralWidget(client_);

    auto reg = [this](Ctl c, int index, QWidget *w) {
        w->setObjectName(controlObjectName(c, index));
        controls_[key(c, index)].widget = w;
        placeControl(c, index, layout::initialRect(c, index));
    };
    auto button = [&](Ctl c, const QString &caption, const QString &tip, const QColor &colour) {
        auto *b = new WrapButton(caption, client_);
        b->setToolTip(tip);
        if (colour.isValid())
            setRole(b, QPalette::Button, colour);
        else
            standardColours(b);
        reg(c, 0, b);
        return b;
    };
    auto label = [&](Ctl c, int index, const QString &caption, bool statusLine = false) {
        ClickLabel *l = statusLine ? new StatusLabel(client_) : new ClickLabel(client_);
        l->setText(caption);
        reg(c, index, l);
        return l;
    };

    // The result lists come first so that everything placed later lies above them.
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
        reg(c, 0, v);
        v->setVisible(c == Ctl::LstNewFile);
    }

    cmdListFile_ = button(Ctl::cmdListFile, QStringLiteral("&List Files to Copy"), QStringLiteral("List Files"), QColor(255, 192, 192));
    cmdSync_ = button(Ctl::cmdSync, QStringLiteral("&Copy"), QStringLiteral("Sync"), QColor(255, 192, 128));
    cmdSync_->setEnabled(false);
    cmdSync_->setMouseTracking(true);
    cmdStop_ = button(Ctl::cmdStop, QStringLiteral("&Stop"), QStringLiteral("Stop"), QColor(255, 128, 128));
    cmdExit_ = button(Ctl::cmdExit, QStringLiteral("E&xit"), QStringLiteral("Exit"), QColor(192, 192, 192));
    button(Ctl::Command2, QStringLiteral("Open Log"), QStringLiteral("Open Log"), QColor());
    button(Ctl::cmdFolderSource, QStringLiteral("..."), QStringLiteral("Change Source"), QColor(128, 255, 255));
    button(Ctl::cmdFolderTarget, QStringLiteral("..."), QStringLiteral("Change Target"), QColor(128, 128, 255));
    button(Ctl::Command1, QStringLiteral("^v"), QStringLiteral("Swap"), QColor(255, 255, 128));
    button(Ctl::Command3, QStringLiteral("S"), QStringLiteral("Select source from treeview"), QColor());
    button(Ctl::Command4, QStringLiteral("T"), QStringLiteral("Select target from treeview"), QColor());
    cmdListFile_->setDefault(true);

    txtSource_ = new FolderBox(platform::designSource(), client_);
    txtSource_->setToolTip(QStringLiteral("Source"));
    txtSource_->setFont(arial(9.6));
    setRole(txtSource_, QPalette::Base, SourceColour);
    txtSource_->setAcceptDrops(true);
    reg(Ctl::txtSource, 0, txtSource_);
    txtTarget_ = new FolderBox(platform::designTarget(), client_);
    txtTarget_->setToolTip(QStringLiteral("Target"));
    txtTarget_->setFont(arial(9.6));
    setRole(txtTarget_, QPalette::Base, TargetColour);
    txtTarget_->setAcceptDrops(true);
    reg(Ctl::txtTarget, 0, txtTarget_);
    txtPattern_ = new QLineEdit(QStringLiteral("*.*"), client_);
    txtPattern_->setToolTip(QStringLiteral("File Filter (*.* all files to include)"));
    standardColours(txtPattern_);
    reg(Ctl::txtPattern, 0, txtPattern_);

    auto *chk = new WrapCheckBox(QStringLiteral("&Skip Orphan Files"), client_);
    chk->setToolTip(QStringLiteral("Skip New file in target not found in source"));
    chk->setAutoFillBackground(true);
    chk->setBackgroundRole(QPalette::Window);
    setRole(chk, QPalette::Window, WindowBack);
    reg(Ctl::chkSkipOrphanCk, 0, chk);

    cboChoices_ = new QComboBox(client_);
    cboChoices_->setEditable(true);
    cboChoices_->setInsertPolicy(QComboBox::NoInsert);
    cboChoices_->setEditText(QStringLiteral("cboChoices"));
    cboChoices_->setToolTip(QStringLiteral("Select Creteria for Action"));
    standardColours(cboChoices_);
    reg(Ctl::cboChoices, 0, cboChoices_);

    pball_ = new QProgressBar(client_);
    pball_->setRange(0, 100);
    pball_->setValue(0);
    pball_->setTextVisible(false);
    standardColours(pball_);
    reg(Ctl::pball, 0, pball_);
    // Until a listing or a run shows it, the bar leaves the choice box under it visible.
    pball_->setVisible(false);

    tree_ = new DriveTree(client_);
    tree_->setToolTip(QStringLiteral("Treeview"));
    tree_->setFont(arial(9.6));
    reg(Ctl::TreeView1, 0, tree_);

    // Status lines: bordered, wrapping; a text too long for the rectangle is drawn smaller.
    auto status = [&](Ctl c, const QString &caption) {
        ClickLabel *l = label(c, 0, caption, true);
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        l->setWordWrap(true);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        l->setAutoFillBackground(true);
        standardColours(l);
        return l;
    };
    status(Ctl::lblListStatus, QStringLiteral("Ready"))->setToolTip(QStringLiteral("Status of the current work"));
    status(Ctl::lblListStatus1, QStringLiteral("No items in list yet."));
    lblListFileStatus_ = status(Ctl::lblListFileStatus, QString());
    lblListFileStatus_->setMouseTracking(true);

    // The counter grid.
    const QStringList captions = {"Files Found", "Folders Found", "Folder Size", "<Last saved>",
                                  "New Files\\Folders", "Changed Files", "< Orphan >"};
    for (int i = 0; i < 7; ++i) {
        ClickLabel *l = label(Ctl::Label1, i, captions.at(i));
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
            ClickLabel *l = label(c, i, QStringLiteral("0"));
            l->setAlignment(Qt::AlignCenter);
            l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            l->setWordWrap(true);
            l->setAutoFillBackground(true);
            setRole(l, QPalette::Window, i == 0 ? SourceColour : TargetColour);
            l->setCursor(Qt::PointingHandCursor);
        }
    for (Ctl c : {Ctl::lblFoldQ, Ctl::lblFoldersQ}) {
        ClickLabel *l = label(c, 0, c == Ctl::lblFoldQ ? QStringLiteral("Folder Queue:") : QStringLiteral("0"));
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setVisible(false);
    }

    // The Stop button lies over the Copy button; the progress bar over the choice box.
    cmdStop_->raise();
    cmdStop_->setEnabled(false);
    cmdStop_->setVisible(false);
    pball_->raise();

    // Tab order of the controls that take the focus.
    const QList<QWidget *> tabs = {
        txtSource_, control(Ctl::cmdFolderSource), txtTarget_, control(Ctl::cmdFolderTarget),
        cmdListFile_, cmdStop_, cmdSync_, cmdExit_, chk, cboChoices_,
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
    for (int k = 1; k <= 7; ++k) {
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
}

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
    txtSource_->takeDrop = [this](const QStringList &p) { return DropOnFolderBox(*ctx_, Ctl::txtSource, p); };
    txtTarget_->takeDrop = [this](const QStringList &p) { return DropOnFolderBox(*ctx_, Ctl::txtTarget, p); };

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

// ---------------------------------------------------------------------------------------
// Placing controls

void formmain::placeControl(Ctl c, int index, const QRect &twips)
{
    twips_[key(c, index)] = twips;
    if (QWidget *w = control(c, index))
        w->setGeometry(layout::toPixels(twips));
}

QRect formmain::controlTwips(Ctl c, int index) const
{
    return twips_.value(key(c, index));
}

void formmain::applyLayoutRects()
{
    for (int i = 0; i < 5; ++i)
        placeControl(layout::resultLists()[i], 0, rects_.lists[i]);
    placeControl(Ctl::lblListStatus, 0, rects_.lblListStatus);
    placeControl(Ctl::lblListStatus1, 0, rects_.lblListStatus1);
    placeControl(Ctl::cmdSync, 0, rects_.cmdSync);
    placeControl(Ctl::cmdStop, 0, rects_.cmdStop);
    placeControl(Ctl::cboChoices, 0, rects_.cboChoices);
    placeControl(Ctl::pball, 0, rects_.pball);
    placeControl(Ctl::txtSource, 0, rects_.txtSource);
    placeControl(Ctl::txtTarget, 0, rects_.txtTarget);
}

void formmain::Form_Resize()
{
    if (inLayout_)
        return;
    inLayout_ = true;
    // The rectangles the layout reads are the controls' current ones.
    rects_ = layout::FormRects::of([this](Ctl c) { return controlTwips(c); });

    const QRect outer = windowTwips();
    const layout::LayoutResult res = layout::resizeLayout(rects_, outer.width(), outer.height(), isMinimized());
    if (res.laidOut) {
        if (res.widthSnapped || res.heightSnapped)
            setWindowTwips(QRect(outer.x(), outer.y(), res.width, res.height));
        applyLayoutRects();
        fitEmptyListColumns();
    }
    inLayout_ = false;
}

QSize formmain::frameMargins() const
{
    if (!isVisible())
        return QSize(0, 0);
    return frameGeometry().size() - geometry().size();
}

QRect formmain::windowTwips() const
{
    const QRect fg = frameGeometry();
    // The program's own figures while the window still has the pixels they stand for.
    auto pick = [](int requested, int pixels) {
        return layout::toPixels(requested) == pixels ? requested : layout::toTwips(pixels);
    };
    if (!requestedTwips_.isValid())
        return QRect(layout::toTwips(fg.x()), layout::toTwips(fg.y()), layout::toTwips(fg.width()), layout::toTwips(fg.height()));
    return QRect(pick(requestedTwips_.x(), fg.x()), pick(requestedTwips_.y(), fg.y()),
                 pick(requestedTwips_.width(), fg.width()), pick(requestedTwips_.height(), fg.height()));
}

void formmain::setWindowTwips(const QRect &r)
{
    requestedTwips_ = r;
    const QSize m = frameMargins();
    // Before the window has its frame the figures stand for the client area; once the frame
    // is known the window is shrunk by it, so that the outer size is the one asked for and a
    // saved size does not grow from one start to the next.
    frameFixPending_ = m.isNull();
    move(layout::toPixels(r.x()), layout::toPixels(r.y()));
    resize(qMax(1, layout::toPixels(r.width()) - m.width()), qMax(1, layout::toPixels(r.height()) - m.height()));
    // A hidden window gets its resize event only when shown: lay it out now.
    if (!QMainWindow::isVisible())
        Form_Resize();
}

QSize formmain::screenTwips() const
{
    QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return QSize(1920 * layout::TwipsPerPixel, 1080 * layout::TwipsPerPixel);
    const QSize px = s->availableGeometry().size();
    return QSize(layout::toTwips(px.width()), layout::toTwips(px.height()));
}

void formmain::fitEmptyListColumns()
{
    const int W = controlTwips(Ctl::LstNewFile).width();
    const int V = controlTwips(Ctl::LstOrphans).width();
    for (int i = 0; i < 5; ++i) {
        if (models_[i]->size() > 0)
            continue;   // a list with rows keeps the widths the user gave it
        const Ctl list = layout::resultLists()[i];
        const QList<int> widths = layout::emptyListColumnWidths(list, W, V);
        QHeaderView *h = lists_[i]->header();
        const QStringList captions = listHeaders(list);
        QList<int> px(captions.size(), -1);   // -1: the column keeps its width
        for (qsizetype col = 0; col < widths.size() && col < px.size(); ++col)
            if (widths.at(col) >= 0)
                px[col] = layout::toPixels(widths.at(col));
        // A date column shows the whole date and time; what the proportional widths give
        // too little is taken from the path column.
        int taken = 0;
        for (qsizetype col = 1; col < captions.size(); ++col) {
            if (!captions.at(col).endsWith(QLatin1String("Date")))
                continue;
            const int need = dateColumnPixels(lists_[i], captions.at(col));
            const int have = px.at(col) >= 0 ? px.at(col) : h->sectionSize(int(col));
            if (have >= need)
                continue;
            if (px.at(col) >= 0)
                taken += need - have;
            px[col] = need;
        }
        if (px.at(0) >= 0)
            px[0] = qMax(px.at(0) - taken, px.at(0) / 2);
        for (qsizetype col = 0; col < px.size(); ++col)
            if (px.at(col) >= 0)
                h->resizeSection(int(col), px.at(col));
    }
}

// ---------------------------------------------------------------------------------------
// Control lookup and the window interface

QWidget *formmain::control(Ctl c, int index) const
{
    if (c == Ctl::Form)
        return const_cast<formmain *>(this);
    return controls_.value(key(c, index)).widget;
}

QAction *formmain::menuItem(Ctl c, int index) const
{
    return controls_.value(key(c, index)).action;
}

ResultListView *formmain::listView(Ctl list) const
{
    const int i = layout::resultListIndex(list);
    return i < 0 ? nullptr : lists_[i];
}

ResultListModel *formmain::listModel(Ctl list) const
{
    const int i = layout::resultListIndex(list);
    return i < 0 ? nullptr : models_[i];
}

void formmain::setText(Ctl c, const QString &t, int index)
{
    if (c == Ctl::Form) {
        setWindowTitle(t);
        return;
    }
    if (QAction *a = menuItem(c, index)) {
        a->setText(t);
        return;
    }
    QWidget *w = control(c, index);
    // Buttons and labels show a name with bytes that are not UTF-8 with U+FFFD in their place;
    // the folder boxes keep the exact text the engine works with.
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->setText(platform::displayName(t));
    else if (auto *l = qobject_cast<QLabel *>(w))
        l->setText(platform::displayName(t));
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(t);
    else if (auto *cb = qobject_cast<QComboBox *>(w))
        cb->setEditText(t);
}

QString formmain::text(Ctl c, int index) const
{
    if (c == Ctl::Form)
        return windowTitle();
    if (QAction *a = menuItem(c, index))
        return a->text();
    QWidget *w = control(c, index);
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *cb = qobject_cast<QComboBox *>(w))
        return cb->currentText();
    return QString();
}

void formmain::setToolTip(Ctl c, const QString &tip, int index)
{
    if (QAction *a = menuItem(c, index))
        a->setToolTip(platform::displayName(tip));
    else if (QWidget *w = control(c, index))
        w->setToolTip(platform::displayName(tip));
}

QString formmain::toolTip(Ctl c, int index) const
{
    if (QAction *a = menuItem(c, index))
        return a->toolTip();
    if (QWidget *w = control(c, index))
        return w->toolTip();
    return QString();
}

void formmain::setEnabled(Ctl c, bool on, int index)
{
    if (QAction *a = menuItem(c, index))
        a->setEnabled(on);
    else if (QWidget *w = control(c, index))
        w->setEnabled(on);
}

bool formmain::isEnabled(Ctl c, int index) const
{
    if (QAction *a = menuItem(c, index))
        return a->isEnabled();
    if (QWidget *w = control(c, index))
        return w->isEnabled();
    return false;
}

void formmain::setVisible(Ctl c, bool on, int index)
{
    if (c == Ctl::Form) {
        QMainWindow::setVisible(on);
        return;
    }
    if (QAction *a = menuItem(c, index)) {
        a->setVisible(on);
        return;
    }
    QWidget *w = control(c, index);
    if (!w)
        return;
    w->setVisible(on);
    // The lists share one rectangle: the one shown last lies on top. The progress bar lies
    // over the choice box.
    if (on && (layout::resultListIndex(c) >= 0 || c == Ctl::pball))
        w->raise();
}

bool formmain::isVisible(Ctl c, int index) const
{
    if (c == Ctl::Form)
        return QMainWindow::isVisible();
    if (QAction *a = menuItem(c, index))
        return a->isVisible();
    if (QWidget *w = control(c, index))
        return !w->isHidden();
    return false;
}

void formmain::setValue(Ctl c, int v, int index)
{
    if (QAction *a = menuItem(c, index)) {
        if (a->isCheckable())
            a->setChecked(v != 0);
        return;
    }
    switch (c) {
    case Ctl::chkSkipOrphanCk:
        static_cast<QCheckBox *>(control(c))->setChecked(v != 0);
        break;
    case Ctl::pball:
        pball_->setValue(qBound(pball_->minimum(), v, pball_->maximum()));
        break;
    case Ctl::cboChoices:
        if (v < -1 || v >= cboChoices_->count())
            return;
        cboChoices_->setCurrentIndex(v);
        // Every selection raises the selection-change handler, the same index included.
        cboChoices_Click();
        break;
    default:
        break;
    }
}

int formmain::value(Ctl c, int index) const
{
    if (QAction *a = menuItem(c, index))
        return a->isChecked() ? 1 : 0;
    switch (c) {
    case Ctl::chkSkipOrphanCk: return static_cast<QCheckBox *>(control(c))->isChecked() ? 1 : 0;
    case Ctl::pball: return qMax(pball_->minimum(), pball_->value());
    case Ctl::cboChoices: return cboChoices_->currentIndex();
    default: return 0;
    }
}

void formmain::setMaximum(Ctl c, int m)
{
    if (c != Ctl::pball)
        return;
    // A maximum not above the minimum would turn the bar into a busy indicator that never
    // shows progress: the bar keeps its last maximum then.
    if (m <= pball_->minimum())
        return;
    const int v = value(Ctl::pball);
    pball_->setMaximum(m);
    pball_->setValue(qBound(pball_->minimum(), v, pball_->maximum()));
}

int formmain::maximum(Ctl c) const
{
    return c == Ctl::pball ? pball_->maximum() : 0;
}

void formmain::setItems(Ctl c, const QStringList &items)
{
    if (c != Ctl::cboChoices)
        return;
    // Filling the list neither selects an entry nor changes the box's text.
    const QSignalBlocker block(cboChoices_);
    const QString shown = cboChoices_->currentText();
    cboChoices_->clear();
    cboChoices_->addItems(items);
    cboChoices_->setCurrentIndex(-1);
    cboChoices_->setEditText(shown);
    // The open list is wide enough for its longest choice.
    QAbstractItemView *v = cboChoices_->view();
    v->setMinimumWidth(v->sizeHintForColumn(0) + 2 * v->frameWidth() + v->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void formmain::addRows(Ctl list, const QList<QStringList> &rows)
{
    if (ResultListModel *m = listModel(list))
        m->appendRows(rows);
}

void formmain::clearRows(Ctl list)
{
    if (ResultListModel *m = listModel(list)) {
        m->clear();
        listView(list)->header()->setSortIndicatorShown(false);
    }
}

int formmain::rowCount(Ctl list) const
{
    const ResultListModel *m = listModel(list);
    return m ? m->size() : 0;
}

QStringList formmain::row(Ctl list, int i) const
{
    const ResultListModel *m = listModel(list);
    return m ? m->rowAt(i) : QStringList();
}

void formmain::moveToLeftOf(Ctl c, Ctl anchor, int anchorIndex)
{
    QRect r = controlTwips(c);
    r.moveLeft(controlTwips(anchor, anchorIndex).left());
    placeControl(c, 0, r);
}

void formmain::setBackColor(Ctl c, quint32 rgb)
{
    QWidget *w = control(c);
    if (!w || c == Ctl::Form)
        return;
    const QColor colour(QRgb(rgb & 0xFFFFFF));
    if (qobject_cast<QAbstractItemView *>(w) || qobject_cast<QLineEdit *>(w))
        setRole(w, QPalette::Base, colour);
    else if (qobject_cast<QPushButton *>(w))
        setRole(w, QPalette::Button, colour);
    else {
        w->setAutoFillBackground(true);
        setRole(w, QPalette::Window, colour);
    }
}

void formmain::showWindow()
{
    show();
    raise();
    activateWindow();
}

void formmain::closeWindow()
{
    if (closed_)
        return;
    programClose_ = true;
    close();
}

void formmain::pumpEvents()
{
    QCoreApplication::processEvents();
}

void formmain::beep()
{
    QApplication::beep();
}

void formmain::setAsker(Asker *asker)
{
    asker_ = asker;
}

Answer formmain::showQuestion(const Question &q)
{
    ++askDepth_;
    const Answer a = asker_ ? asker_->ask(q) : dialogs_->ask(q);
    --askDepth_;
    return a;
}

void formmain::setDesktopOpener(std::function<void(const QString &)> opener)
{
    opener_ = std::move(opener);
}

void formmain::openWithDesktop(const QString &path)
{
    if (opener_)
        opener_(path);
    else
        // Percent-encoded from the exact bytes: a name that is not UTF-8 opens as itself.
        QDesktopServices::openUrl(QUrl::fromEncoded("file://" + platform::encodeName(path).toPercentEncoding("/")));
}

void formmain::prepareInteractive()
{
    if (!txtSource_->text().isEmpty())
        txtSource_->setSelection(0, int(txtSource_->text().size()));
    BuildDriveTree();
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
    } catch (const AppError &err) {
        // A handler's failure must not take the event loop down: it is logged and skipped.
        c.log.writeDated(QStringLiteral(" Error ") + QString::number(err.Number) + QStringLiteral(" ") + err.Description);
    } catch (const std::exception &) {
    }
}

void formmain::load(const QStringList &words)
{
    loadWords_ = words;
    loading_ = true;
    engineEvent(WinEvent::Load);
    loading_ = false;
    if (pendingActivation_ && !closed_) {
        pendingActivation_ = false;
        QTimer::singleShot(0, this, [this] {
            if (closed_ || firstActivationSeen_)
                return;
            firstActivationSeen_ = true;
            engineEvent(WinEvent::Activate, 1);
        });
    }
}

void formmain::windowActivated()
{
    const bool first = !firstActivationSeen_;
    const bool fromOwn = first || (!appWasInactive_ && lastOtherActive_ && !lastOtherWasQuestion_);
    lastOtherActive_.clear();
    appWasInactive_ = false;
    if (closed_)
        return;
    if (loading_) {
        // Start-up is still running: the first activation is handed on when it returns.
        if (first)
            pendingActivation_ = true;
        return;
    }
    firstActivationSeen_ = true;
    engineEvent(WinEvent::Activate, fromOwn ? 1 : 0);
}

void formmain::fitFrame()
{
    if (!frameFixPending_ || !QMainWindow::isVisible() || isMinimized() || isMaximized() || isFullScreen())
        return;
    const QSize m = frameMargins();
    if (m.isNull())
        return;   // the frame is not known yet
    frameFixPending_ = false;
    const QSize asked(layout::toPixels(requestedTwips_.width()), layout::toPixels(requestedTwips_.height()));
    if (size() == asked)
        resize(asked - m);
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
        // A close while a listing or a run is busy ends their loops at the next test.
        if (ctx_->listingBusy || ctx_->runBusy)
            ctx_->StopRequested = true;
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
    node->setBackground(0, (source ? txtSource_ : txtTarget_)->palette().color(QPalette::Base));
    setText(box, path);
}
