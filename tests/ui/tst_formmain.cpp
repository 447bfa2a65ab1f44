// The main window: its controls, colours, tab order, keys, the interface the engine uses, the
// events it raises, its layout at real sizes, activation and closing.
#include "WindowRig.h"
#include "actions/Choices.h"
#include "ui/DriveTree.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QWindow>

using WinEvent = formmain::WinEvent;

namespace {

QColor colourOf(QWidget *w, QPalette::ColorRole role)
{
    return w->palette().color(role);
}

const QColor Cyan(192, 255, 255), Lavender(192, 192, 255), Yellow(255, 255, 192);

} // namespace

class TestFormMain : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void everyControlHasItsName()
    {
        WindowRig rig;
        for (int c = 1; c < int(Ctl::Count_); ++c) {
            const Ctl ctl = Ctl(c);
            QList<int> indexes = {0};
            if (ctl == Ctl::Label1)
                indexes = {0, 1, 2, 3, 4, 5, 6};
            else if (ctl == Ctl::itm)
                indexes = {1, 2, 3, 4, 5, 6, 7};
            else if (isControlArray(ctl))
                indexes = {0, 1};
            for (int i : indexes) {
                const QString name = controlObjectName(ctl, i);
                QObject *o = rig.w.findChild<QObject *>(name);
                QVERIFY2(o, qPrintable(name));
                QVERIFY2(rig.w.control(ctl, i) == o || rig.w.menuItem(ctl, i) == o, qPrintable(name));
            }
        }
        QCOMPARE(rig.w.objectName(), QStringLiteral("formmain"));
        QVERIFY(rig.w.findChild<QLabel *>("lblTotalFiles_1"));
        QVERIFY(rig.w.findChild<QAction *>("itm7"));
        QVERIFY(rig.w.findChild<QMenu *>("File"));
        QVERIFY(rig.w.findChild<QMenu *>("opt"));
    }

    void captionsTooltipsAndStates()
    {
        WindowRig rig;
        formmain &w = rig.w;
        struct B { Ctl c; const char *caption, *tip; };
        const B buttons[] = {
            {Ctl::cmdListFile, "&List Files to Copy", "List Files"}, {Ctl::cmdSync, "&Copy", "Sync"},
            {Ctl::cmdStop, "&Stop", "Stop"}, {Ctl::cmdExit, "E&xit", "Exit"},
            {Ctl::Command2, "Open Log", "Open Log"}, {Ctl::cmdFolderSource, "...", "Change Source"},
            {Ctl::cmdFolderTarget, "...", "Change Target"}, {Ctl::Command1, "^v", "Swap"},
            {Ctl::Command3, "S", "Select source from treeview"}, {Ctl::Command4, "T", "Select target from treeview"},
        };
        for (const B &b : buttons) {
            QCOMPARE(w.text(b.c), QString::fromLatin1(b.caption));
            QCOMPARE(w.toolTip(b.c), QString::fromLatin1(b.tip));
        }
        QCOMPARE(w.text(Ctl::txtPattern), QStringLiteral("*.*"));
        QCOMPARE(w.toolTip(Ctl::txtPattern), QStringLiteral("File Filter (*.* all files to include)"));
        QCOMPARE(w.text(Ctl::chkSkipOrphanCk), QStringLiteral("&Skip Orphan Files"));
        QCOMPARE(w.toolTip(Ctl::chkSkipOrphanCk), QStringLiteral("Skip New file in target not found in source"));
        QCOMPARE(w.text(Ctl::cboChoices), QStringLiteral("cboChoices"));
        QCOMPARE(w.toolTip(Ctl::cboChoices), QStringLiteral("Select Creteria for Action"));
        QCOMPARE(w.toolTip(Ctl::txtSource), QStringLiteral("Source"));
        QCOMPARE(w.toolTip(Ctl::TreeView1), QStringLiteral("Treeview"));
        QCOMPARE(w.text(Ctl::lblListStatus), QStringLiteral("Ready"));
        QCOMPARE(w.text(Ctl::lblListStatus1), QStringLiteral("No items in list yet."));
        QCOMPARE(w.text(Ctl::lblListFileStatus), QString());
        QCOMPARE(w.text(Ctl::Label1, 4), QStringLiteral("New Files\\Folders"));
        QCOMPARE(w.text(Ctl::Label1, 3), QStringLiteral("<Last saved>"));
        QCOMPARE(w.text(Ctl::Label1, 6), QStringLiteral("< Orphan >"));
        QCOMPARE(w.text(Ctl::lblFoldQ), QStringLiteral("Folder Queue:"));
        QCOMPARE(w.text(Ctl::lblTotalSize, 1), QStringLiteral("0"));
        // Labels show their texts as written, never as markup.
        QCOMPARE(static_cast<QLabel *>(w.control(Ctl::Label1, 3))->textFormat(), Qt::PlainText);

        QVERIFY(!w.isEnabled(Ctl::cmdSync));
        QVERIFY(!w.isEnabled(Ctl::cmdStop));
        QVERIFY(!w.isVisible(Ctl::cmdStop));
        QVERIFY(!w.isVisible(Ctl::lblFoldQ));
        QVERIFY(!w.isVisible(Ctl::lblFoldersQ));
        QVERIFY(w.isVisible(Ctl::LstNewFile));
        QVERIFY(w.isEnabled(Ctl::cmdListFile));

        // Menus: no access keys; the Options items are empty and checkable until start-up.
        QStringList bar;
        for (QAction *a : w.menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, (QStringList{"File", "Options", "About"}));
        QCOMPARE(w.text(Ctl::mnulstFile), QStringLiteral("List File"));
        QCOMPARE(w.text(Ctl::mnuCopy), QStringLiteral("Copy"));
        QCOMPARE(w.text(Ctl::viewlog), QStringLiteral("View Log"));
        for (int k = 1; k <= 7; ++k) {
            QCOMPARE(w.text(Ctl::itm, k), QString());
            QVERIFY(w.menuItem(Ctl::itm, k)->isCheckable());
        }
        QCOMPARE(w.menuItem(Ctl::Abt)->menu(), nullptr);
    }

    void colours()
    {
        WindowRig rig;
        formmain &w = rig.w;
        QCOMPARE(colourOf(w.centralWidget(), QPalette::Window), Yellow);
        QCOMPARE(colourOf(w.control(Ctl::cmdListFile), QPalette::Button), QColor(255, 192, 192));
        QCOMPARE(colourOf(w.control(Ctl::cmdSync), QPalette::Button), QColor(255, 192, 128));
        QCOMPARE(colourOf(w.control(Ctl::cmdStop), QPalette::Button), QColor(255, 128, 128));
        QCOMPARE(colourOf(w.control(Ctl::cmdExit), QPalette::Button), QColor(192, 192, 192));
        QCOMPARE(colourOf(w.control(Ctl::cmdFolderSource), QPalette::Button), QColor(128, 255, 255));
        QCOMPARE(colourOf(w.control(Ctl::cmdFolderTarget), QPalette::Button), QColor(128, 128, 255));
        QCOMPARE(colourOf(w.control(Ctl::Command1), QPalette::Button), QColor(255, 255, 128));
        QCOMPARE(colourOf(w.control(Ctl::Command2), QPalette::Button), QApplication::palette().color(QPalette::Button));
        QCOMPARE(colourOf(w.control(Ctl::txtSource), QPalette::Base), Cyan);
        QCOMPARE(colourOf(w.control(Ctl::txtTarget), QPalette::Base), Lavender);
        QCOMPARE(colourOf(w.control(Ctl::chkSkipOrphanCk), QPalette::Window), Yellow);
        QCOMPARE(colourOf(w.control(Ctl::LstNewFile), QPalette::Base), Cyan);
        QCOMPARE(colourOf(w.control(Ctl::LstChngFile), QPalette::Base), Cyan);
        QCOMPARE(colourOf(w.control(Ctl::LstChngFileTarget), QPalette::Base), Lavender);
        QCOMPARE(colourOf(w.control(Ctl::LstOrphans), QPalette::Base), Lavender);
        QCOMPARE(colourOf(w.control(Ctl::LstSizeVariations), QPalette::Base), QApplication::palette().color(QPalette::Base));
        for (Ctl c : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles}) {
            QCOMPARE(colourOf(w.control(c, 0), QPalette::Window), Cyan);
            QCOMPARE(colourOf(w.control(c, 1), QPalette::Window), Lavender);
        }
        QCOMPARE(colourOf(w.control(Ctl::Label1, 3), QPalette::Window), QApplication::palette().color(QPalette::Window));
        QCOMPARE(static_cast<QWidget *>(w.control(Ctl::txtSource))->font().family(), QStringLiteral("Arial"));
        QCOMPARE(w.control(Ctl::TreeView1)->font().pointSizeF(), 9.6);
    }

    void tabOrder()
    {
        WindowRig rig;
        const QStringList expected = {
            "txtSource", "cmdFolderSource", "txtTarget", "cmdFolderTarget", "cmdListFile", "cmdStop",
            "cmdSync", "cmdExit", "chkSkipOrphanCk", "cboChoices", "LstNewFile", "LstChngFile",
            "LstChngFileTarget", "LstSizeVariations", "LstOrphans", "Command1", "Command2", "txtPattern",
            "TreeView1", "Command3", "Command4",
        };
        QStringList chain;
        QWidget *start = rig.w.control(Ctl::txtSource);
        QWidget *cur = start;
        do {
            if ((cur->focusPolicy() & Qt::TabFocus) && !cur->objectName().isEmpty() && expected.contains(cur->objectName()))
                chain << cur->objectName();
            cur = cur->nextInFocusChain();
        } while (cur && cur != start && chain.size() < 40);
        QCOMPARE(chain, expected);
    }

    // Keys go in through the window as the keyboard sends them: to the focused control, on to
    // the window when the control leaves them alone, to an open pop-up instead while it is open.
    void enterPressesListAndEscapePressesExit()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        QVERIFY(rig.showActive());
        QWindow *win = w.windowHandle();
        auto *list = static_cast<QPushButton *>(w.control(Ctl::cmdListFile));
        QVERIFY(list->isDefault());
        // From the first moment the focus is where the tab order starts.
        QCOMPARE(QApplication::focusWidget(), w.control(Ctl::txtSource));
        QTest::keyClick(win, Qt::Key_Return);
        QCOMPARE(w.count(WinEvent::ListFileClick), 1);

        // Whatever control has the focus (a button aside), Enter presses List and Escape Exit.
        int lists = 1, exits = 0;
        for (Ctl c : {Ctl::txtSource, Ctl::txtTarget, Ctl::txtPattern, Ctl::chkSkipOrphanCk, Ctl::cboChoices,
                      Ctl::LstNewFile, Ctl::TreeView1}) {
            w.control(c)->setFocus();
            QCOMPARE(QApplication::focusWidget(), w.control(c));
            QTest::keyClick(win, Qt::Key_Return);
            QTest::keyClick(win, Qt::Key_Enter, Qt::KeypadModifier);
            lists += 2;
            QVERIFY2(w.count(WinEvent::ListFileClick) == lists, qPrintable(controlObjectName(c, 0)));
            QTest::keyClick(win, Qt::Key_Escape);
            QVERIFY2(w.count(WinEvent::ExitClick) == ++exits, qPrintable(controlObjectName(c, 0)));
        }
        // No control with the focus at all.
        QApplication::focusWidget()->clearFocus();
        QTest::keyClick(win, Qt::Key_Return);
        QCOMPARE(w.count(WinEvent::ListFileClick), ++lists);
        // A button with the focus is the one Enter presses.
        w.control(Ctl::Command2)->setFocus();
        QTest::keyClick(win, Qt::Key_Return);
        QCOMPARE(w.count(WinEvent::OpenLogClick), 1);
        QCOMPARE(w.count(WinEvent::ListFileClick), lists);
        // With modifiers the keys are not the window's; a disabled List button is not pressed.
        w.control(Ctl::txtSource)->setFocus();
        QTest::keyClick(win, Qt::Key_Return, Qt::ControlModifier);
        w.setEnabled(Ctl::cmdListFile, false);
        QTest::keyClick(win, Qt::Key_Return);
        QCOMPARE(w.count(WinEvent::ListFileClick), lists);
        w.setEnabled(Ctl::cmdListFile, true);
        QCOMPARE(w.count(WinEvent::ExitClick), exits);
    }

    void anOpenPopupKeepsItsKeys()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        QVERIFY(rig.showActive());
        QWindow *win = w.windowHandle();
        w.setItems(Ctl::cboChoices, {"zero", "one", "two"});
        w.setValue(Ctl::cboChoices, 0);
        const int choices = w.count(WinEvent::ChoicesClick);
        auto *cbo = static_cast<QComboBox *>(w.control(Ctl::cboChoices));

        // Enter in the open choice list takes the highlighted choice, and nothing else.
        cbo->setFocus();
        QTest::keyClick(win, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(win, Qt::Key_Down);
        QTest::keyClick(win, Qt::Key_Return);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(w.value(Ctl::cboChoices), 1);
        QCOMPARE(w.count(WinEvent::ChoicesClick), choices + 1);
        QCOMPARE(w.count(WinEvent::ListFileClick), 0);

        // Escape closes the open list and only the list.
        QTest::keyClick(win, Qt::Key_Down, Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(win, Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(w.count(WinEvent::ExitClick), 0);
        QCOMPARE(w.value(Ctl::cboChoices), 1);
        QVERIFY(w.isVisible());

        // The same for an open menu.
        auto *file = w.findChild<QMenu *>("File");
        w.menuBar()->setActiveAction(file->menuAction());
        QTRY_VERIFY(file->isVisible());
        QTest::keyClick(win, Qt::Key_Escape);
        QTRY_VERIFY(!file->isVisible());
        QCOMPARE(w.count(WinEvent::ExitClick), 0);
        QCOMPARE(w.count(WinEvent::ListFileClick), 0);

        // Once the pop-ups are closed the keys are the window's again.
        w.control(Ctl::txtTarget)->setFocus();
        QTest::keyClick(win, Qt::Key_Return);
        QCOMPARE(w.count(WinEvent::ListFileClick), 1);
        QTest::keyClick(win, Qt::Key_Escape);
        QCOMPARE(w.count(WinEvent::ExitClick), 1);
    }

    // Alt+S belongs to "&Stop" and to "&Skip Orphan Files". While Stop is shown it stops
    // (a key shared by two controls would only move the focus between them); at any other
    // time it is the check box's.
    void altSStopsWhileStopIsShown()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        QVERIFY(rig.showActive());
        QWindow *win = w.windowHandle();
        auto *skip = static_cast<QAbstractButton *>(w.control(Ctl::chkSkipOrphanCk));
        w.control(Ctl::txtSource)->setFocus();
        w.setEnabled(Ctl::cmdStop, true);
        w.setVisible(Ctl::cmdStop, true);
        QTest::keyClick(win, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(w.count(WinEvent::StopClick), 1);
        QVERIFY(!skip->isChecked());
        QTest::keyClick(win, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(w.count(WinEvent::StopClick), 2);
        // Stop hidden: the check box takes the key again.
        w.setVisible(Ctl::cmdStop, false);
        w.setEnabled(Ctl::cmdStop, false);
        QTest::keyClick(win, Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(skip->hasFocus() || skip->isChecked());
        QCOMPARE(w.count(WinEvent::StopClick), 2);
    }

    void everyControlRaisesItsEvent()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        w.setEnabled(Ctl::cmdSync, true);
        w.setEnabled(Ctl::cmdStop, true);
        w.setVisible(Ctl::cmdStop, true);
        static_cast<QAbstractButton *>(w.control(Ctl::cmdStop))->click();
        static_cast<QAbstractButton *>(w.control(Ctl::cmdSync))->click();
        static_cast<QAbstractButton *>(w.control(Ctl::Command2))->click();
        w.menuItem(Ctl::mnulstFile)->trigger();
        w.menuItem(Ctl::mnuCopy)->trigger();
        w.menuItem(Ctl::viewlog)->trigger();
        QCOMPARE(w.count(WinEvent::StopClick), 1);
        QCOMPARE(w.count(WinEvent::SyncClick), 2);
        QCOMPARE(w.count(WinEvent::OpenLogClick), 2);
        QCOMPARE(w.count(WinEvent::ListFileClick), 1);

        // The Options items: the click is the choice routine's; the item's check mark is
        // left for it to set.
        w.menuItem(Ctl::itm, 4)->trigger();
        QCOMPARE(w.only(WinEvent::ItmClick).size(), 1);
        QCOMPARE(w.only(WinEvent::ItmClick).first().a, 4);
        QCOMPARE(w.value(Ctl::itm, 4), 0);
        w.setValue(Ctl::itm, 1, 4);
        QCOMPARE(w.value(Ctl::itm, 4), 1);
        w.menuItem(Ctl::itm, 4)->trigger();
        QCOMPARE(w.value(Ctl::itm, 4), 1);

        // The counter labels are clickable, each with its label and index.
        QWidget *orphans = w.control(Ctl::lblNewFiles, 1);
        QTest::mouseClick(orphans, Qt::LeftButton, {}, orphans->rect().center());
        QWidget *size = w.control(Ctl::lblTotalFolders, 0);
        QTest::mouseClick(size, Qt::LeftButton, {}, size->rect().center());
        const auto clicks = w.only(WinEvent::CounterLabelClick);
        QCOMPARE(clicks.size(), 2);
        QCOMPARE(Ctl(clicks.at(0).a), Ctl::lblNewFiles);
        QCOMPARE(clicks.at(0).b, 1);
        QCOMPARE(Ctl(clicks.at(1).a), Ctl::lblTotalFolders);
        QCOMPARE(clicks.at(1).b, 0);
    }

    void aboutShowsTheCurrentTitle()
    {
        WindowRig rig;
        rig.asker.expect(Button::Ok);
        rig.w.setText(Ctl::Form, QStringLiteral("Quorvel Marnisyn -- Ver.  14.8.15 Nightly"));
        rig.w.menuItem(Ctl::Abt)->trigger();
        QCOMPARE(rig.asker.asked.size(), 1);
        QCOMPARE(rig.asker.asked.first().text, QStringLiteral("Quorvel Marnisyn -- Ver.  14.8.15 Nightly"));
        QCOMPARE(rig.asker.asked.first().buttons, Buttons::Ok);
    }

    void choiceSelectionRaisesItsHandlerEveryTime()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        const QStringList items = {"zero", "one", "two"};
        w.setItems(Ctl::cboChoices, items);
        // Filling the list selects nothing and keeps the box's text.
        QCOMPARE(w.value(Ctl::cboChoices), -1);
        QCOMPARE(w.text(Ctl::cboChoices), QStringLiteral("cboChoices"));
        QCOMPARE(w.count(WinEvent::ChoicesClick), 0);

        w.setValue(Ctl::cboChoices, 1);
        QCOMPARE(w.count(WinEvent::ChoicesClick), 1);
        QCOMPARE(w.text(Ctl::cboChoices), QStringLiteral("one"));
        w.setValue(Ctl::cboChoices, 1);   // the same entry again still raises it
        QCOMPARE(w.count(WinEvent::ChoicesClick), 2);
        w.setValue(Ctl::cboChoices, 7);   // no such entry: nothing happens
        QCOMPARE(w.count(WinEvent::ChoicesClick), 2);
        QCOMPARE(w.value(Ctl::cboChoices), 1);

        // A user's selection with the keyboard raises it once.
        auto *cbo = static_cast<QComboBox *>(w.control(Ctl::cboChoices));
        QTest::keyClick(cbo, Qt::Key_Down);
        QCOMPARE(w.value(Ctl::cboChoices), 2);
        QCOMPARE(w.count(WinEvent::ChoicesClick), 3);
        emit cbo->activated(0);   // a pick from the drop-down list
        QCOMPARE(w.count(WinEvent::ChoicesClick), 4);
    }

    void hostMapsTextsValuesAndStates()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setText(Ctl::Form, QStringLiteral("Title"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Title"));
        w.setText(Ctl::lblTotalFiles, QStringLiteral("1,234"), 1);
        QCOMPARE(static_cast<QLabel *>(w.control(Ctl::lblTotalFiles, 1))->text(), QStringLiteral("1,234"));
        QCOMPARE(w.text(Ctl::lblTotalFiles, 0), QStringLiteral("0"));
        w.setText(Ctl::itm, QStringLiteral("Delete Files Orphan from Target"), 6);
        QCOMPARE(w.menuItem(Ctl::itm, 6)->text(), QStringLiteral("Delete Files Orphan from Target"));
        w.setText(Ctl::cmdSync, QStringLiteral("Copy New files from Source to Target"));
        QCOMPARE(static_cast<QAbstractButton *>(w.control(Ctl::cmdSync))->text(), QStringLiteral("Copy New files from Source to Target"));
        w.setText(Ctl::txtTarget, QStringLiteral("/t/"));
        QCOMPARE(static_cast<QLineEdit *>(w.control(Ctl::txtTarget))->text(), QStringLiteral("/t/"));

        w.setValue(Ctl::chkSkipOrphanCk, 1);
        QVERIFY(static_cast<QCheckBox *>(w.control(Ctl::chkSkipOrphanCk))->isChecked());
        QCOMPARE(w.value(Ctl::chkSkipOrphanCk), 1);
        w.setValue(Ctl::chkSkipOrphanCk, 0);
        QCOMPARE(w.value(Ctl::chkSkipOrphanCk), 0);

        w.setMaximum(Ctl::pball, 500);
        w.setValue(Ctl::pball, 250);
        QCOMPARE(w.value(Ctl::pball), 250);
        QCOMPARE(static_cast<QProgressBar *>(w.control(Ctl::pball))->value(), 250);
        w.setValue(Ctl::pball, 900);   // beyond the maximum: the bar is full
        QCOMPARE(w.value(Ctl::pball), 500);
        w.setMaximum(Ctl::pball, 10);
        QCOMPARE(w.maximum(Ctl::pball), 10);
        QCOMPARE(w.value(Ctl::pball), 10);
        // An empty walk's maximum of 0 leaves the bar a bar (not a busy indicator).
        w.setMaximum(Ctl::pball, 0);
        QCOMPARE(w.maximum(Ctl::pball), 10);
        QCOMPARE(static_cast<QProgressBar *>(w.control(Ctl::pball))->maximum(), 10);
        QCOMPARE(w.value(Ctl::pball), 10);

        w.setEnabled(Ctl::txtSource, false);
        QVERIFY(!w.control(Ctl::txtSource)->isEnabled());
        QVERIFY(!w.isEnabled(Ctl::txtSource));
        w.setEnabled(Ctl::mnuCopy, false);
        QVERIFY(!w.menuItem(Ctl::mnuCopy)->isEnabled());
        w.setToolTip(Ctl::LstOrphans, QStringLiteral("tip"));
        QCOMPARE(w.control(Ctl::LstOrphans)->toolTip(), QStringLiteral("tip"));

        // The lists share one rectangle; the one shown last lies on top.
        w.setVisible(Ctl::LstOrphans, true);
        w.setVisible(Ctl::LstChngFile, true);
        QVERIFY(w.isVisible(Ctl::LstOrphans) && w.isVisible(Ctl::LstChngFile));
        const QObjectList kids = w.centralWidget()->children();
        QVERIFY(kids.indexOf(w.control(Ctl::LstChngFile)) > kids.indexOf(w.control(Ctl::LstOrphans)));
        w.setVisible(Ctl::pball, true);
        QVERIFY(w.centralWidget()->children().indexOf(w.control(Ctl::pball)) > w.centralWidget()->children().indexOf(w.control(Ctl::cboChoices)));
        w.setVisible(Ctl::LstOrphans, false);
        QVERIFY(!w.isVisible(Ctl::LstOrphans));

        w.moveToLeftOf(Ctl::lblFoldersQ, Ctl::lblTotalFiles, 0);
        QCOMPARE(w.controlTwips(Ctl::lblFoldersQ).left(), 10920);
        w.setBackColor(Ctl::LstNewFile, 0xFFFFFF);
        QCOMPARE(colourOf(w.control(Ctl::LstNewFile), QPalette::Base), QColor(255, 255, 255));
    }

    void tooltipMirrors()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setText(Ctl::lblListFileStatus, QStringLiteral("Scanning Files & folders in Source Location."));
        QWidget *lbl = w.control(Ctl::lblListFileStatus);
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), lbl->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(lbl, &move);
        QCOMPARE(w.toolTip(Ctl::lblListFileStatus), QStringLiteral("Scanning Files & folders in Source Location."));

        w.setEnabled(Ctl::cmdSync, true);
        w.setText(Ctl::cmdSync, QStringLiteral("Delete Orphan Files on Target"));
        QWidget *sync = w.control(Ctl::cmdSync);
        QMouseEvent move2(QEvent::MouseMove, QPointF(5, 5), sync->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(sync, &move2);
        QCOMPARE(w.toolTip(Ctl::cmdSync), QStringLiteral("Delete Orphan Files on Target"));
    }

    void statusLinesShowTheirWholeText()
    {
        WindowRig rig;
        formmain &w = rig.w;
        for (Ctl c : {Ctl::lblListFileStatus, Ctl::lblListStatus, Ctl::lblListStatus1}) {
            auto *l = qobject_cast<StatusLabel *>(w.control(c));
            QVERIFY(l);
            const QRect room = l->textRoom();
            auto height = [&](const QFont &f) { return QFontMetrics(f).boundingRect(room, l->textFlags(f), l->text()).height(); };
            // A short text keeps the label's own font.
            w.setText(c, QStringLiteral("Ready"));
            QCOMPARE(l->fittedFont().pointSizeF(), l->font().pointSizeF());
            // A text just too long for the label's own font, whatever font that is, is drawn in
            // the largest smaller size that shows all of it.
            QString text = QStringLiteral("Source File :");
            while (w.setText(c, text), height(l->font()) <= room.height())
                text += QStringLiteral(" folder/a.txt");
            const QFont f = l->fittedFont();
            QVERIFY2(f.pointSizeF() < l->font().pointSizeF(), qPrintable(l->objectName()));
            QVERIFY(f.pointSizeF() >= StatusLabel::MinimumPointSize);
            QVERIFY2(height(f) <= room.height(), qPrintable(l->objectName()));
            QFont larger = f;
            larger.setPointSizeF(f.pointSizeF() + 0.5);
            QVERIFY2(height(larger) > room.height(), qPrintable(l->objectName()));
            QCOMPARE(w.text(c), l->text());
            // A text too long for any size is drawn at the smallest.
            w.setText(c, text.repeated(20));
            QCOMPARE(l->fittedFont().pointSizeF(), StatusLabel::MinimumPointSize);
        }
    }

    // Every caption is drawn whole, whatever font the machine gives for Arial.
    void captionsAreWhole()
    {
        WindowRig rig;
        formmain &w = rig.w;
        QCOMPARE(w.centralWidget()->font().family(), QStringLiteral("Arial"));
        const QString got = QFontInfo(w.centralWidget()->font()).family();
        // Where a font of Arial's metrics is installed, the window gets it.
        if (QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
            QVERIFY2(QStringList({"Arial", "Liberation Sans", "Arimo"}).contains(got), qPrintable(got));
        QCOMPARE(QFontInfo(w.control(Ctl::txtSource)->font()).family(), got);
        QCOMPARE(QFontInfo(w.control(Ctl::TreeView1)->font()).family(), got);

        // The widest texts the counters show.
        w.setText(Ctl::lblTotalSize, QStringLiteral("7,097.67 mb"), 0);
        w.setText(Ctl::lblTotalSize, QStringLiteral("12,345.67 mb"), 1);
        w.setText(Ctl::lblTotalFiles, QStringLiteral("1,234,567"), 1);
        QStringList problems;
        auto check = [&](QWidget *wd, const QFont &f, const QRect &room, const QString &caption, bool wrap) {
            const QFontMetrics fm(f);
            QString plain = caption;
            plain.remove(QLatin1Char('&'));
            const QString name = wd->objectName() + QStringLiteral(" \"") + plain + QStringLiteral("\": ");
            // No word is broken or cut at the sides.
            for (const QString &word : plain.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (fm.horizontalAdvance(wrap ? word : plain) > room.width())
                    problems << name + QStringLiteral("too wide");
            // The letters of every line are inside the room.
            const int lines = wrap ? fm.boundingRect(room, Qt::TextWordWrap, plain).height() / fm.lineSpacing() : 1;
            if ((lines - 1) * fm.lineSpacing() + fm.height() > room.height() + 1)
                problems << name + QString::number(lines) + QStringLiteral(" lines too tall");
        };
        for (ClickLabel *l : w.centralWidget()->findChildren<ClickLabel *>()) {
            if (l->text().isEmpty() || qobject_cast<StatusLabel *>(l))
                continue;
            check(l, l->fittedFont(), l->contentsRect(), l->text(), l->wordWrap());
        }
        for (QPushButton *b : w.centralWidget()->findChildren<QPushButton *>()) {
            if (b->text().size() < 3)
                continue;   // the narrow one-letter buttons stack their letters
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            check(b, b->font(), b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b), b->text(), true);
        }
        auto *chk = w.control(Ctl::chkSkipOrphanCk);
        check(chk, chk->font(), chk->rect().adjusted(chk->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                                           chk->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing), 0, 0, 0),
              w.text(Ctl::chkSkipOrphanCk), true);
        QVERIFY2(problems.isEmpty(), qPrintable(got + QLatin1Char('\n') + problems.join(QLatin1Char('\n'))));

        // The longest choice shows its beginning in the box and the whole text in the open list.
        auto *cbo = static_cast<QComboBox *>(w.control(Ctl::cboChoices));
        w.setItems(Ctl::cboChoices, ChoiceTexts());
        w.setValue(Ctl::cboChoices, 6);
        QCOMPARE(cbo->lineEdit()->cursorPosition(), 0);
        QVERIFY(cbo->view()->minimumWidth() > QFontMetrics(cbo->view()->font()).horizontalAdvance(ChoiceTexts().at(6)));
    }

    void listColumnsShowAWholeDate()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setWindowTwips(QRect(0, 0, 15665, 7765));
        for (Ctl list : layout::resultLists()) {
            ResultListView *v = w.listView(list);
            ResultListModel *m = w.listModel(list);
            const QFontMetrics fm(v->font());
            const int margins = 2 * (v->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, v) + 1);
            for (int col = 0; col < m->columnCount(); ++col) {
                const QString caption = m->headerData(col, Qt::Horizontal).toString();
                if (!caption.endsWith(QLatin1String("Date")))
                    continue;
                for (const QString &date : {QStringLiteral("12/28/2026 10:58:58 PM"), QStringLiteral("11/30/1999 12:00:00 AM")}) {
                    const int room = v->header()->sectionSize(col) - margins;
                    QVERIFY2(fm.elidedText(date, Qt::ElideRight, room) == date,
                             qPrintable(controlObjectName(list, 0) + QLatin1Char(' ') + caption));
                }
            }
            // The columns together stay within the list's width where the layout gives their widths.
            if (list == Ctl::LstChngFile || list == Ctl::LstChngFileTarget) {
                int sum = 0;
                for (int col = 0; col < 3; ++col)
                    sum += v->header()->sectionSize(col);
                QVERIFY(sum <= w.control(list)->width());
            }
        }
    }

    void layoutAtRealSizes()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setWindowTwips(QRect(0, 0, 15665, 7765));
        QCOMPARE(w.windowTwips(), QRect(0, 0, 15665, 7765));
        QCOMPARE(w.controlTwips(Ctl::LstNewFile), QRect(120, 365, 15165, 2970));
        QCOMPARE(w.controlTwips(Ctl::lblListStatus), QRect(2880, 3400, 11620, 396));
        QCOMPARE(w.controlTwips(Ctl::lblListStatus1), QRect(2880, 6400, 11620, 372));
        for (Ctl l : {Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
            QCOMPARE(w.control(l)->geometry(), w.control(Ctl::LstNewFile)->geometry());
        QCOMPARE(w.control(Ctl::cmdStop)->geometry(), w.control(Ctl::cmdSync)->geometry());
        QCOMPARE(w.control(Ctl::pball)->y(), w.control(Ctl::cboChoices)->y());
        QCOMPARE(w.control(Ctl::pball)->width(), w.control(Ctl::cboChoices)->width());
        // Pixels are twips / 15.
        QCOMPARE(w.control(Ctl::LstNewFile)->geometry(), QRect(8, 24, 1011, 198));
        QCOMPARE(w.control(Ctl::cmdListFile)->geometry(), QRect(264, 344, 71, 71));

        // Wider and taller.
        w.setWindowTwips(QRect(0, 0, 21000, 9000));
        QCOMPARE(w.controlTwips(Ctl::LstOrphans).width(), 20500);
        QCOMPARE(w.controlTwips(Ctl::LstOrphans).height(), 2970);
        QCOMPARE(w.controlTwips(Ctl::lblListStatus1).top(), 9000 - 1365);

        // Too small snaps back.
        w.setWindowTwips(QRect(0, 0, 9000, 4500));
        QCOMPARE(w.windowTwips().width(), 12665);
        QCOMPARE(w.windowTwips().height(), 8160);
        QCOMPARE(w.controlTwips(Ctl::LstNewFile).width(), 12165);
        QCOMPARE(w.controlTwips(Ctl::lblListStatus1).top(), 8160 - 1365);

        // Shown with a frame, the window keeps the outer size it was given.
        w.setWindowTwips(QRect(0, 0, 15665, 7765));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.windowTwips(), QRect(0, 0, 15665, 7765));
        QCOMPARE(w.controlTwips(Ctl::LstNewFile).width(), 15165);

        // Resized as a user would.
        w.resize(500, 300);
        QTRY_COMPARE(w.windowTwips().width(), 12665);
        QTRY_COMPARE(w.windowTwips().height(), 8160);
        QCOMPARE(w.controlTwips(Ctl::LstNewFile).width(), 12165);
        w.resize(1200, 600);
        // The outer size counts the frame.
        QTRY_COMPARE(w.controlTwips(Ctl::LstNewFile).width(), w.frameGeometry().width() * 15 - 500);
        QCOMPARE(w.controlTwips(Ctl::lblListStatus1).top(), w.frameGeometry().height() * 15 - 1365);
        QCOMPARE(w.windowTwips().size(), w.frameGeometry().size() * 15);
        // Minimizing changes no control; restoring lays the window out again.
        const QRect before = w.control(Ctl::lblListStatus1)->geometry();
        w.showMinimized();
        QCoreApplication::processEvents();
        QCOMPARE(w.control(Ctl::lblListStatus1)->geometry(), before);
        w.showNormal();
        QCoreApplication::processEvents();
        QCOMPARE(w.control(Ctl::lblListStatus1)->geometry(), before);
    }

    void emptyListsTakeTheirColumnWidths()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setWindowTwips(QRect(0, 0, 15665, 7765));
        QHeaderView *orph = w.listView(Ctl::LstOrphans)->header();
        // 91.5 % and 6 % of the 15165 twips of the list, in pixels of 15 twips.
        QCOMPARE(orph->sectionSize(0), 925);
        QCOMPARE(orph->sectionSize(1), 61);
        // A list with rows keeps the widths it has.
        w.addRows(Ctl::LstChngFile, {{"/s/a", "d1", "d2", "1", "2"}});
        QHeaderView *chng = w.listView(Ctl::LstChngFile)->header();
        chng->resizeSection(0, 50);
        w.setWindowTwips(QRect(0, 0, 20000, 7765));
        QCOMPARE(chng->sectionSize(0), 50);
        QCOMPARE(orph->sectionSize(0), 1190);
        // The column texts are the lists' own.
        QCOMPARE(w.listModel(Ctl::LstNewFile)->headerData(0, Qt::Horizontal).toString(), QStringLiteral("File\\Folder Path "));
        QCOMPARE(w.listModel(Ctl::LstChngFileTarget)->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Filename"));
        QCOMPARE(w.listModel(Ctl::LstSizeVariations)->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Target Path"));
        QCOMPARE(w.listModel(Ctl::LstOrphans)->columnCount(), 4);
        QCOMPARE(w.listModel(Ctl::LstChngFile)->columnCount(), 5);
    }

    void closingRunsTheShutdownOnce()
    {
        {
            WindowRig rig;
            rig.w.show();
            rig.w.close();
            QVERIFY(rig.w.isWindowClosed());
            QCOMPARE(rig.w.count(WinEvent::QueryUnload), 1);
            rig.w.closeWindow();
            QCOMPARE(rig.w.count(WinEvent::QueryUnload), 1);
        }
        {
            // The program closes the window after its shutdown ran: no second shutdown.
            WindowRig rig;
            rig.w.show();
            rig.w.closeWindow();
            QVERIFY(rig.w.isWindowClosed());
            QVERIFY(!rig.w.isVisible());
            QCOMPARE(rig.w.count(WinEvent::QueryUnload), 0);
        }
        {
            // A close while a listing runs is an Exit: the listing stops, and the window stays
            // until it has unwound (the engine closes it then).
            WindowRig rig;
            rig.w.show();
            rig.w.context().listingBusy = true;
            rig.w.close();
            QCOMPARE(rig.w.count(WinEvent::ExitClick), 1);
            QCOMPARE(rig.w.count(WinEvent::QueryUnload), 0);
            QVERIFY(!rig.w.isWindowClosed());
            QVERIFY(rig.w.isVisible());
            rig.w.context().listingBusy = false;
        }
    }

    void activation()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        QEvent activate(QEvent::WindowActivate);
        // The first activation comes from the program itself.
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(w.only(WinEvent::Activate).size(), 1);
        QCOMPARE(w.only(WinEvent::Activate).last().a, 1);

        // Back from another application.
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(w.only(WinEvent::Activate).last().a, 0);

        // Back from a message box of the program.
        QWidget box;
        rig.asker.expect(Button::Ok);
        rig.asker.onAsk = [&](const Question &) {
            QEvent a(QEvent::WindowActivate);
            QApplication::sendEvent(&box, &a);
        };
        w.ask(messageBox(QStringLiteral("x"), Buttons::Ok, QStringLiteral("t")));
        rig.asker.onAsk = nullptr;
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(w.only(WinEvent::Activate).last().a, 0);

        // Back from another window of the program.
        QWidget other;
        QEvent a(QEvent::WindowActivate);
        QApplication::sendEvent(&other, &a);
        QApplication::sendEvent(&w, &activate);
        QCOMPARE(w.only(WinEvent::Activate).last().a, 1);
        QCOMPARE(w.only(WinEvent::Activate).size(), 4);
    }

    void activationDuringStartUpWaitsForIt()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        w.onLoad = [&] {
            QEvent activate(QEvent::WindowActivate);
            QApplication::sendEvent(&w, &activate);
            QCOMPARE(w.count(WinEvent::Activate), 0);
        };
        w.load({});
        QCOMPARE(w.count(WinEvent::Load), 1);
        QCOMPARE(w.count(WinEvent::Activate), 0);
        QTRY_COMPARE(w.count(WinEvent::Activate), 1);
        QCOMPARE(w.only(WinEvent::Activate).first().a, 1);

        // A start-up that closed the window (automatic run) hands nothing on.
        WindowRig rig2;
        rig2.w.onLoad = [&] {
            rig2.w.show();
            QEvent activate(QEvent::WindowActivate);
            QApplication::sendEvent(&rig2.w, &activate);
            rig2.w.closeWindow();
        };
        rig2.w.load({});
        QVERIFY(rig2.w.isWindowClosed());
        QTest::qWait(20);
        QCOMPARE(rig2.w.count(WinEvent::Activate), 0);
    }

    void pumpAndOpen()
    {
        WindowRig rig;
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        rig.w.pumpEvents();
        QVERIFY(ran);
        rig.w.openWithDesktop(QStringLiteral("/tmp/x.txt"));
        QCOMPARE(rig.opened, QStringList{"/tmp/x.txt"});
    }
};

QTEST_MAIN(TestFormMain)
#include "tst_formmain.moc"
