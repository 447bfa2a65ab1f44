#pragma once
// formmain: the program's one window. It holds every control, lays them out from twip
// rectangles, owns the shared state (Context) and serves the engine through UiHost. Its slots
// hand the user's actions to the engine's event routines; the result lists' interaction and
// the folder selection are handled here. Its member functions are defined in formmain.cpp (the
// window's course and events) and in FormMainControls.cpp (building), FormMainGeometry.cpp
// (placing and sizing), FormMainHost.cpp (the control map and UiHost) and FormMainWatchers.cpp
// (activation and pop-up keys), FormMainAccess.cpp (names for assistive tools).
#include "core/Context.h"
#include "core/UiHost.h"
#include <exception>
#include "ui/Layout.h"
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QColor;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTreeWidgetItem;
class ClickLabel;
class EngineWork;
class QTimer;
class ThreadHost;
class DialogAsker;
class DriveTree;
class FolderBox;
class ResultListModel;
class ResultListView;
class WrapButton;
class WrapCheckBox;

class formmain : public QMainWindow, public UiHost {
    Q_OBJECT
public:
    explicit formmain(QWidget *parent = nullptr);
    ~formmain() override;

    Context &context() { return *ctx_; }

    // The answerer of the program's questions; nullptr restores the real dialogs.
    void setAsker(Asker *asker);
    // Replaces opening with the desktop (tests record the paths instead).
    void setDesktopOpener(std::function<bool(const QString &)> opener);

    // Start-up: runs the engine's load with the program's words. An activation of the window
    // that arrives meanwhile is handed on once the load has returned.
    void load(const QStringList &words);
    // Listings and runs work on a thread of their own (EngineWork): true while none does.
    bool idle() const;
    // Serves the window's events until the work under way has ended (true) or `boundMs` passed.
    bool waitForWork(int boundMs);
    // Exit as the button gives it: a stop signal comes here once it has been named.
    void requestExit();
    // How long an Exit waits for the work to unwind after the stop before it gives up.
    static constexpr int kStopBoundMs = 5000;

    // The widget or menu item of a named control (nullptr when it has none).
    QWidget *control(Ctl c, int index = 0) const;
    QAction *menuItem(Ctl c, int index = 0) const;
    ResultListView *listView(Ctl list) const;
    ResultListModel *listModel(Ctl list) const;
    DriveTree *driveTree() const { return tree_; }
    // A control's current rectangle in twips (client coordinates).
    QRect controlTwips(Ctl c, int index = 0) const;

    // The engine events the window raises. Tests replace engineEvent to record them.
    enum class WinEvent {
        Load, Activate, QueryUnload, ExitClick, OpenLogClick, StopClick, ListFileClick,
        CounterLabelClick, ChoicesClick, ItmClick, SyncClick
    };

    // UiHost
    void setText(Ctl c, const QString &text, int index = 0) override;
    QString text(Ctl c, int index = 0) const override;
    void setToolTip(Ctl c, const QString &tip, int index = 0) override;
    QString toolTip(Ctl c, int index = 0) const override;
    void setEnabled(Ctl c, bool on, int index = 0) override;
    bool isEnabled(Ctl c, int index = 0) const override;
    void setVisible(Ctl c, bool on, int index = 0) override;
    bool isVisible(Ctl c, int index = 0) const override;
    void setValue(Ctl c, int value, int index = 0) override;
    int value(Ctl c, int index = 0) const override;
    void setMaximum(Ctl c, int maximum) override;
    int maximum(Ctl c) const override;
    void setItems(Ctl c, const QStringList &items) override;
    void addRows(Ctl list, const QList<QStringList> &rows) override;
    void addRowRefs(Ctl list, const RowSource &source, const std::vector<qint32> &keys) override;
    void clearRows(Ctl list) override;
    int rowCount(Ctl list) const override;
    QStringList row(Ctl list, int i) const override;
    void fitEmptyListColumns() override;
    QRect windowTwips() const override;
    void setWindowTwips(const QRect &r) override;
    QSize screenTwips() const override;
    void showWindow() override;
    void closeWindow() override;
    bool isWindowClosed() const override { return closed_; }
    void pumpEvents() override;
    void paintRows() override;
    void beep() override;
    Answer showQuestion(const Question &q) override;
    bool openWithDesktop(const QString &path) override;
    void prepareInteractive() override;
    void moveToLeftOf(Ctl c, Ctl anchor, int anchorIndex) override;
    void setBackColor(Ctl c, quint32 rgb) override;

    // The widget's own members of the same names stay available.
    using QMainWindow::setEnabled;
    using QMainWindow::isEnabled;
    using QMainWindow::setVisible;
    using QMainWindow::isVisible;
    using QMainWindow::setToolTip;
    using QMainWindow::toolTip;

    // Result lists.
    void ListClick(Ctl list);
    void ListKeyDown(Ctl list, int key);
    void ListDblClick(Ctl list);
    void LV_ColumnSort(Ctl list, int headerPosition);

    // Folder selection with the tree.
    void BuildDriveTree();
    void TreeNodeClick(QTreeWidgetItem *node);
    void SelectFromTree(Ctl box);   // "S" (txtSource) and "T" (txtTarget)

    // The resize layout, run on every resize.
    void Form_Resize();

public slots:
    void cmdListFile_Click();
    void cmdSync_Click();
    void cmdStop_Click();
    void cmdExit_Click();
    void Command2_Click();
    void cmdFolderSource_Click();
    void cmdFolderTarget_Click();
    void cmdFolderSource_RightPress();
    void cmdFolderTarget_RightPress();
    void Command1_Click();
    void Command3_Click();
    void Command4_Click();
    void cboChoices_Click();
    void mnulstFile_Click();
    void mnuCopy_Click();
    void viewlog_Click();
    void itm_Click(int k);
    void Abt_Click();
    void counterLabel_Click(Ctl label, int index);
    void txtPattern_Change();

protected:
    virtual void engineEvent(WinEvent e, int a = 0, int b = 0);

    bool event(QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    // The engine's events: those that work on the disk (a listing, a run, the start-up) run
    // on the work's thread; while one does, only Stop and Exit are taken (the choice's events
    // wait for its end, the rest are refused).
    static bool isWork(WinEvent e, int a);
    void runEvent(WinEvent e, int a, int b);
    void startWork(WinEvent e, int a, int b);
    void workEnded(WinEvent e, std::exception_ptr error);
    void eventDuringWork(WinEvent e, int a, int b);
    void exitDuringWork();
    void loadEnded();
    void setRowsLive(bool on);
    void giveUpWaiting();
    struct Deferred {
        WinEvent e;
        int a, b;
    };
    QList<Deferred> deferred_;
    EngineWork *work_ = nullptr;
    QTimer *stopBound_ = nullptr;

    struct Entry {
        QWidget *widget = nullptr;
        QAction *action = nullptr;
    };
    static qint64 key(Ctl c, int index) { return qint64(c) * 1000 + index; }
    void buildControls();
    void buildClientArea();
    void buildResultLists();
    void buildButtons();
    void buildFolderBoxes();
    void buildChoiceControls();
    void buildTreeView();
    void buildStatusLines();
    void buildCounterGrid();
    void layerOverlappingControls();
    void buildTabOrder();
    void nameControls();
    void registerControl(Ctl c, int index, QWidget *w);
    WrapButton *addButton(Ctl c, const QString &caption, const QString &tip, const QColor &colour);
    ClickLabel *addLabel(Ctl c, int index, const QString &caption, bool statusLine = false);
    ClickLabel *addStatusLine(Ctl c, const QString &caption);
    void buildMenus();
    void wireControls();
    void wireResultLists();
    void placeControl(Ctl c, int index, const QRect &twips);
    void placeAll();
    void applyLayoutRects();
    void installWatchers();
    void removeWatchers();
    void windowActivated();
    QSize frameMargins() const;
    void fitFrame();

    class ActivationWatch;
    ActivationWatch *activationWatch_ = nullptr;
    class PopupKeyWatch;
    PopupKeyWatch *popupKeyWatch_ = nullptr;
    class StopKeyWatch;
    StopKeyWatch *stopKeyWatch_ = nullptr;
    int popupKey_ = 0;   // the key last pressed while a pop-up was open, until released
    std::unique_ptr<ThreadHost> host_;      // the window as the engine sees it, from any thread
    std::unique_ptr<Context> ctx_;
    std::unique_ptr<DialogAsker> dialogs_;
    Asker *asker_ = nullptr;
    std::function<bool(const QString &)> opener_;
    QStringList loadWords_;

    QWidget *client_ = nullptr;
    QHash<qint64, Entry> controls_;
    QHash<qint64, QRect> twips_;            // every placed control's rectangle in twips
    layout::FormRects rects_;
    QRect requestedTwips_;                  // the last outer rectangle the program asked for

    WrapButton *cmdListFile_ = nullptr, *cmdSync_ = nullptr, *cmdStop_ = nullptr, *cmdExit_ = nullptr;
    FolderBox *txtSource_ = nullptr, *txtTarget_ = nullptr;
    QLineEdit *txtPattern_ = nullptr;
    QComboBox *cboChoices_ = nullptr;
    QProgressBar *pball_ = nullptr;
    ClickLabel *lblListFileStatus_ = nullptr;
    DriveTree *tree_ = nullptr;
    ResultListView *lists_[5] = {};
    ResultListModel *models_[5] = {};

    bool closed_ = false;
    bool programClose_ = false;
    bool loading_ = false;
    bool pendingActivation_ = false;
    bool firstActivationSeen_ = false;
    bool inLayout_ = false;
    bool frameFixPending_ = false;
    int askDepth_ = 0;
    // The window that was active before this one, when it was one of ours.
    QPointer<QWidget> lastOtherActive_;
    bool lastOtherWasQuestion_ = false;
    bool appWasInactive_ = false;
};
