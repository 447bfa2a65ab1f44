// The window as assistive tools and the keyboard reach it: after a listing every counter and
// status line is read with its value through Qt's accessibility interface, each change of a
// value is announced, the choice box's text is named, and F10 opens the menus, whose every
// item the arrow keys reach.
#include "WindowRig.h"
#include "ui/Widgets.h"
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

namespace {

// What a value label should be heard as: its caption, and its value when it has one.
QString heard(const QString &caption, const QString &value)
{
    const QString v = value.simplified();
    return v.isEmpty() ? caption : caption + QStringLiteral(": ") + v;
}

QString spoken(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("(no interface)");
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void countersAreReadWithTheirValues()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        w.passThrough = true;
        rig.asker.answerDefaults(true);
        const QString S = rig.path("S"), T = rig.path("T");
        writeFile(S + "/a.txt", "alpha");
        writeFile(S + "/sub/b.txt", "bravo");
        writeFile(S + "/same.txt", "same");
        writeFile(T + "/old.txt", "orphan");
        w.context().settings.SaveSetting("Parms", "Source", rig.path("none-s"));
        w.context().settings.SaveSetting("Parms", "Target", rig.path("none-t"));
        w.load({});
        QVERIFY(w.waitForWork(kWorkBoundMs));
        w.setText(Ctl::txtSource, S);
        w.setText(Ctl::txtTarget, T);
        // Every change of a value is announced (the offscreen platform has no assistive tools to
        // tell, so the label's own word for it is counted).
        QList<QObject *> nameChanges;
        for (Ctl c : {Ctl::lblTotalFiles, Ctl::lblNewFiles, Ctl::lblListStatus}) {
            auto *label = static_cast<ClickLabel *>(w.control(c, 0));
            connect(label, &ClickLabel::spokenNameChanged, this, [&nameChanges, label] { nameChanges << label; });
        }
        static_cast<QAbstractButton *>(w.control(Ctl::cmdListFile))->click();
        QVERIFY(w.waitForWork(kWorkBoundMs));

        const struct {
            Ctl control;
            int side;
            const char *caption;
        } counters[] = {
            {Ctl::lblTotalFiles, 0, "Files found in the source"},
            {Ctl::lblTotalFiles, 1, "Files found in the target"},
            {Ctl::lblTotalFolders, 0, "Folders found in the source"},
            {Ctl::lblTotalFolders, 1, "Folders found in the target"},
            {Ctl::lblTotalSize, 0, "Folder size of the source"},
            {Ctl::lblTotalSize, 1, "Folder size of the target"},
            {Ctl::lblNewFiles, 0, "New files and folders in the source"},
            {Ctl::lblNewFiles, 1, "Orphans in the target"},
            {Ctl::lblChngFiles, 0, "Changed files, newer in the source"},
            {Ctl::lblChngFiles, 1, "Changed files, last saved in the target"},
        };
        for (const auto &c : counters) {
            QWidget *label = w.control(c.control, c.side);
            const QString value = w.text(c.control, c.side);
            QCOMPARE(spoken(label), heard(QString::fromLatin1(c.caption), value));
        }
        QCOMPARE(spoken(w.control(Ctl::lblTotalFiles, 0)), QStringLiteral("Files found in the source: 3"));
        QCOMPARE(spoken(w.control(Ctl::lblNewFiles, 1)), QStringLiteral("Orphans in the target: 1"));
        // The status lines are read with what they say; a multi-line status as one line.
        QVERIFY(!w.text(Ctl::lblListStatus).isEmpty());
        QCOMPARE(spoken(w.control(Ctl::lblListStatus)), heard("Status", w.text(Ctl::lblListStatus)));
        QCOMPARE(spoken(w.control(Ctl::lblListStatus1)), heard("List status", w.text(Ctl::lblListStatus1)));
        w.setText(Ctl::lblListStatus1, QStringLiteral("Finished within 0 seconds\r\n6 items"));
        QCOMPARE(spoken(w.control(Ctl::lblListStatus1)), QStringLiteral("List status: Finished within 0 seconds 6 items"));
        // Each value that changed was announced.
        for (Ctl c : {Ctl::lblTotalFiles, Ctl::lblNewFiles, Ctl::lblListStatus})
            QVERIFY(nameChanges.contains(w.control(c, 0)));
        // A label that is a caption keeps its name, and an empty value leaves the caption alone.
        w.setText(Ctl::lblListFileStatus, QString());
        QCOMPARE(spoken(w.control(Ctl::lblListFileStatus)), QStringLiteral("Current file"));
        QCOMPARE(spoken(w.control(Ctl::Label1, 0)), QStringLiteral("Files Found"));

        auto *choices = static_cast<QComboBox *>(w.control(Ctl::cboChoices));
        QVERIFY(choices->lineEdit());
        QCOMPARE(spoken(choices->lineEdit()), QStringLiteral("Chosen action"));
    }

    // F10 opens the first menu; the arrow keys go to every item and menu; the captions stay.
    void f10OpensTheMenus()
    {
        WindowRig rig;
        RecordingWindow &w = rig.w;
        QVERIFY(rig.showActive());
        QTest::keyClick(&w, Qt::Key_F10);
        auto *file = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(file);
        QCOMPARE(file->title(), QStringLiteral("File"));
        QStringList reached;
        for (int i = 0; i < file->actions().size(); ++i) {
            QTest::keyClick(file, Qt::Key_Down);
            reached << file->activeAction()->text();
        }
        QCOMPARE(reached, (QStringList{"List File", "Copy", "View Log"}));
        QTest::keyClick(file, Qt::Key_Right);
        auto *options = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(options && options != file);
        QCOMPARE(options->title(), QStringLiteral("Options"));
        // A menu reached by the arrow keys opens on its first item.
        reached.clear();
        for (int i = 0; i < options->actions().size(); ++i) {
            reached << options->activeAction()->objectName();
            QTest::keyClick(options, Qt::Key_Down);
        }
        QCOMPARE(reached, (QStringList{"itm1", "itm2", "itm3", "itm4", "itm5", "itm6", "itm7"}));
        QTest::keyClick(options, Qt::Key_Right);
        // About is an item of the bar itself: the bar holds it, no menu is open.
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(w.menuBar()->activeAction()->text(), QStringLiteral("About"));
        QTest::keyClick(w.menuBar(), Qt::Key_Escape);
        // The menu items keep their captions: no access keys were added.
        for (QAction *a : w.menuBar()->actions())
            QVERIFY(!a->text().contains('&'));

        // View Log from the keyboard, as a user without a mouse starts it.
        QTest::keyClick(&w, Qt::Key_F10);
        file = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(file);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(file, Qt::Key_Down);
        QTest::keyClick(file, Qt::Key_Return);
        QTRY_COMPARE(w.count(formmain::WinEvent::OpenLogClick), 1);
    }
};

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
