// Choosing the two folders: browse dialogs (through the question seam), the drive tree with
// "S" and "T", drops from the file manager, the swap button and the file filter box.
#include "WindowRig.h"
#include "platform/Platform.h"
#include "ui/DriveTree.h"
#include "ui/FolderSelection.h"
#include "ui/Widgets.h"
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMimeData>
#include <sys/stat.h>
#include <unistd.h>
#include <QScrollBar>
#include <QUrl>

namespace {

Answer chosen(const QString &path)
{
    Answer a;
    a.button = Button::Ok;
    a.path = path;
    return a;
}

Answer cancelled()
{
    Answer a;
    a.button = Button::Cancel;
    return a;
}

// As the file manager does it: the drag enters the box, then drops, offering the actions it
// can do and proposing a move. Returns the action the box answers the drop with (IgnoreAction
// when it refused it).
Qt::DropAction drop(QWidget *box, const QStringList &paths,
                    Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(box, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    if (enter.dropAction() != Qt::CopyAction && enter.dropAction() != Qt::LinkAction)
        return Qt::MoveAction;   // never acceptable: reported as a failure by the callers
    QDropEvent ev(QPointF(5, 5), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    ev.setDropAction(Qt::MoveAction);
    QApplication::sendEvent(box, &ev);
    return ev.isAccepted() ? ev.dropAction() : Qt::IgnoreAction;
}

QStringList childTexts(QTreeWidgetItem *node)
{
    QStringList out;
    for (int i = 0; i < node->childCount(); ++i)
        out << node->child(i)->text(0);
    return out;
}

} // namespace

class TestFolderSelection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void leftClickBrowse()
    {
        WindowRig rig;
        formmain &w = rig.w;
        auto *button = static_cast<QAbstractButton *>(w.control(Ctl::cmdFolderSource));

        // An empty box starts at the home folder; cancelling changes nothing.
        w.setText(Ctl::txtSource, QString());
        rig.asker.expectAnswer(cancelled());
        button->click();
        QCOMPARE(rig.asker.asked.size(), 1);
        const Question q = rig.asker.asked.first();
        QCOMPARE(q.kind, QuestionKind::FolderDialog);
        QCOMPARE(q.initialPath, platform::homeFolder());
        QCOMPARE(q.text, QStringLiteral("Quorvel Marni Syn : \nSelect top level folder\\Drive for Source..."));
        QVERIFY(!q.rootedAtInitial);
        QCOMPARE(w.text(Ctl::txtSource), QString());

        // A chosen folder is written as returned.
        w.setText(Ctl::txtTarget, rig.path("t"));
        rig.asker.expectAnswer(chosen(rig.path("picked")));
        static_cast<QAbstractButton *>(w.control(Ctl::cmdFolderTarget))->click();
        QCOMPARE(rig.asker.asked.last().initialPath, rig.path("t"));
        QCOMPARE(rig.asker.asked.last().text, browseTitle());
        QCOMPARE(w.text(Ctl::txtTarget), rig.path("picked"));
        rig.asker.expectAnswer(chosen(QStringLiteral("/")));
        static_cast<QAbstractButton *>(w.control(Ctl::cmdFolderTarget))->click();
        QCOMPARE(w.text(Ctl::txtTarget), QStringLiteral("/"));
        // A dialog closed with an empty path leaves the box.
        rig.asker.expectAnswer(chosen(QString()));
        static_cast<QAbstractButton *>(w.control(Ctl::cmdFolderTarget))->click();
        QCOMPARE(w.text(Ctl::txtTarget), QStringLiteral("/"));
    }

    void rightPressBrowsesBelowTheBox()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.setText(Ctl::txtTarget, rig.path("target"));
        rig.asker.expectAnswer(chosen(rig.path("target/sub")));
        QWidget *b = w.control(Ctl::cmdFolderTarget);
        QTest::mousePress(b, Qt::RightButton, {}, b->rect().center());
        QTest::mouseRelease(b, Qt::RightButton, {}, b->rect().center());
        QCOMPARE(rig.asker.asked.size(), 1);
        QCOMPARE(rig.asker.asked.first().initialPath, rig.path("target"));
        QVERIFY(rig.asker.asked.first().rootedAtInitial);
        QCOMPARE(rig.asker.asked.first().text, QStringLiteral("Select top level folder\\Drive for Source..."));
        QCOMPARE(w.text(Ctl::txtTarget), rig.path("target/sub"));

        w.setText(Ctl::txtSource, rig.path("source"));
        rig.asker.expectAnswer(cancelled());
        QWidget *s = w.control(Ctl::cmdFolderSource);
        QTest::mousePress(s, Qt::RightButton, {}, s->rect().center());
        QTest::mouseRelease(s, Qt::RightButton, {}, s->rect().center());
        QCOMPARE(rig.asker.asked.last().text, QStringLiteral("Quorvel Marni Syn : \n\nSelect top level folder\\Drive for Source..."));
        QCOMPARE(w.text(Ctl::txtSource), rig.path("source"));
        // A middle press does nothing.
        QTest::mousePress(s, Qt::MiddleButton, {}, s->rect().center());
        QTest::mouseRelease(s, Qt::MiddleButton, {}, s->rect().center());
        QCOMPARE(rig.asker.asked.size(), 2);
    }

    void swapTwiceRestores()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setText(Ctl::txtSource, QStringLiteral("/a/"));
        w.setText(Ctl::txtTarget, QStringLiteral("relative text"));
        auto *swap = static_cast<QAbstractButton *>(w.control(Ctl::Command1));
        swap->click();
        QCOMPARE(w.text(Ctl::txtSource), QStringLiteral("relative text"));
        QCOMPARE(w.text(Ctl::txtTarget), QStringLiteral("/a/"));
        swap->click();
        QCOMPARE(w.text(Ctl::txtSource), QStringLiteral("/a/"));
        QCOMPARE(w.text(Ctl::txtTarget), QStringLiteral("relative text"));
    }

    // While a listing or a copy run works, both boxes are disabled: no way of choosing a folder
    // may change the folders under it (a swap during a copy would make the source its own
    // destination).
    void disabledBoxesAreLeftAlone()
    {
        WindowRig rig;
        formmain &w = rig.w;
        mkdirs(rig.path("vol/docs"));
        w.setText(Ctl::txtSource, rig.path("src/"));
        w.setText(Ctl::txtTarget, rig.path("dst/"));
        DriveTree *tree = w.driveTree();
        tree->BuildDriveTree({platform::Volume{rig.path("vol"), rig.path("vol"), platform::VolumeKind::Fixed}});
        tree->setCurrentItem(tree->topLevelItem(0));
        w.setEnabled(Ctl::txtSource, false);
        w.setEnabled(Ctl::txtTarget, false);

        static_cast<QAbstractButton *>(w.control(Ctl::Command1))->click();
        static_cast<QAbstractButton *>(w.control(Ctl::Command3))->click();
        static_cast<QAbstractButton *>(w.control(Ctl::Command4))->click();
        w.cmdFolderSource_Click();
        w.cmdFolderTarget_Click();
        w.cmdFolderSource_RightPress();
        w.cmdFolderTarget_RightPress();
        DropOnFolderBox(w.context(), Ctl::txtTarget, {rig.path("vol/docs")});
        QCOMPARE(w.text(Ctl::txtSource), rig.path("src/"));
        QCOMPARE(w.text(Ctl::txtTarget), rig.path("dst/"));
        QVERIFY(rig.asker.asked.isEmpty());

        // Once the work is over the boxes take choices again.
        w.setEnabled(Ctl::txtSource, true);
        w.setEnabled(Ctl::txtTarget, true);
        static_cast<QAbstractButton *>(w.control(Ctl::Command1))->click();
        QCOMPARE(w.text(Ctl::txtSource), rig.path("dst/"));
        QCOMPARE(w.text(Ctl::txtTarget), rig.path("src/"));
    }

    void dropsTakeOnlyAnExistingFolder()
    {
        WindowRig rig;
        formmain &w = rig.w;
        mkdirs(rig.path("one"));
        mkdirs(rig.path("two"));
        writeFile(rig.path("file.txt"), "x");
        QWidget *src = w.control(Ctl::txtSource), *dst = w.control(Ctl::txtTarget);
        w.setText(Ctl::txtSource, QStringLiteral("/before"));
        // What the box ignores it refuses: the dragging program leaves it alone.
        QCOMPARE(drop(src, {rig.path("file.txt")}), Qt::IgnoreAction);
        QCOMPARE(w.text(Ctl::txtSource), QStringLiteral("/before"));
        QCOMPARE(drop(src, {rig.path("gone")}), Qt::IgnoreAction);
        QCOMPARE(w.text(Ctl::txtSource), QStringLiteral("/before"));
        // A folder taken is taken as a copy, even where the dragging program proposes a move.
        QCOMPARE(drop(src, {rig.path("one"), rig.path("two")}), Qt::CopyAction);
        QCOMPARE(w.text(Ctl::txtSource), rig.path("one"));
        // A file first and a folder second: the first path decides.
        QCOMPARE(drop(dst, {rig.path("file.txt"), rig.path("two")}), Qt::IgnoreAction);
        QCOMPARE(w.text(Ctl::txtTarget), platform::designTarget());
        // Offered only as a link it is a link; offered only as a move it is refused.
        QCOMPARE(drop(dst, {rig.path("two")}, Qt::MoveAction), Qt::IgnoreAction);
        QCOMPARE(w.text(Ctl::txtTarget), platform::designTarget());
        QCOMPARE(drop(dst, {rig.path("two")}, Qt::LinkAction | Qt::MoveAction), Qt::LinkAction);
        QCOMPARE(w.text(Ctl::txtTarget), rig.path("two"));
        // A box closed for a listing or a run refuses every drop.
        w.setEnabled(Ctl::txtSource, false);
        QCOMPARE(drop(src, {rig.path("two")}), Qt::IgnoreAction);
        QCOMPARE(w.text(Ctl::txtSource), rig.path("one"));
    }

    void filterBoxRules()
    {
        WindowRig rig;
        formmain &w = rig.w;
        auto *pattern = static_cast<QLineEdit *>(w.control(Ctl::txtPattern));
        pattern->setText(QStringLiteral("*.txt"));
        pattern->clear();
        QCOMPARE(pattern->text(), QStringLiteral("*.*"));
        pattern->setText(QStringLiteral("   "));
        QCOMPARE(pattern->text(), QStringLiteral("*.*"));
        pattern->setText(QStringLiteral("  *.txt "));
        QCOMPARE(pattern->text(), QStringLiteral("  *.txt "));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(pattern, &out);
        QCOMPARE(pattern->text(), QStringLiteral("*.txt"));
        // Typing over a selection that empties the box puts the default back at once.
        pattern->selectAll();
        QTest::keyClick(pattern, Qt::Key_Backspace);
        QCOMPARE(pattern->text(), QStringLiteral("*.*"));
    }

    void focusSelectsTheWholeBox()
    {
        WindowRig rig;
        formmain &w = rig.w;
        QVERIFY(rig.showActive());
        w.setText(Ctl::txtTarget, QStringLiteral("/some/target"));
        auto *target = static_cast<QLineEdit *>(w.control(Ctl::txtTarget));
        target->setFocus(Qt::TabFocusReason);
        QVERIFY(target->hasFocus());
        QCOMPARE(target->selectedText(), QStringLiteral("/some/target"));
        // A click into the box selects the whole text too.
        w.control(Ctl::txtPattern)->setFocus();
        auto *source = static_cast<QLineEdit *>(w.control(Ctl::txtSource));
        QTest::mouseClick(source, Qt::LeftButton, {}, QPoint(10, source->height() / 2));
        QTRY_COMPARE(source->selectedText(), source->text());
    }

    void interactiveStartPreparesSourceAndTree()
    {
        WindowRig rig;
        formmain &w = rig.w;
        w.setText(Ctl::txtSource, QStringLiteral("/the/source"));
        w.prepareInteractive();
        auto *source = static_cast<QLineEdit *>(w.control(Ctl::txtSource));
        QCOMPARE(source->selectedText(), QStringLiteral("/the/source"));
        DriveTree *tree = w.driveTree();
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("/"));
        QCOMPARE(DriveTree::key(tree->topLevelItem(0)), QStringLiteral("/"));
        QCOMPARE(tree->topLevelItem(0)->childCount(), 1);
        QVERIFY(DriveTree::isPlaceholder(tree->topLevelItem(0)->child(0)));
        QCOMPARE(tree->palette().color(QPalette::Base), QColor(255, 255, 199));
        // The image list, by position from 1.
        QCOMPARE(DriveTree::imageKeys(), QStringList({"CDROM", "File", "ControlPanel", "Desktop", "Floppy", "HardDrive", "MyComputer",
                                                      "MyDocuments", "Netwerk", "RecycleBin", "FolderClosed", "FolderOpen"}));
        QCOMPARE(DriveTree::imageForVolume(platform::VolumeKind::Removable), 5);
        QCOMPARE(DriveTree::imageForVolume(platform::VolumeKind::Fixed), 6);
        QCOMPARE(DriveTree::imageForVolume(platform::VolumeKind::Network), 1);
    }

    void expandingReadsSubfoldersOnce()
    {
        WindowRig rig;
        DriveTree *tree = rig.w.driveTree();
        mkdirs(rig.path("vol/alpha/inner"));
        mkdirs(rig.path("vol/beta/.cache"));
        mkdirs(rig.path("vol/.hidden"));
        writeFile(rig.path("vol/file.txt"), "x");
        mkdirs(rig.path("empty"));
        mkdirs(rig.path("flaky"));
        tree->BuildDriveTree({platform::Volume{rig.path("vol"), rig.path("vol"), platform::VolumeKind::Fixed},
                              platform::Volume{rig.path("empty"), rig.path("empty"), platform::VolumeKind::Removable},
                              platform::Volume{rig.path("flaky"), rig.path("flaky"), platform::VolumeKind::Other}});
        QTreeWidgetItem *vol = tree->topLevelItem(0);
        QCOMPARE(vol->data(0, DriveTree::ImageRole).toInt(), 6);
        QCOMPARE(tree->topLevelItem(1)->data(0, DriveTree::ImageRole).toInt(), 5);

        vol->setExpanded(true);
        // Hidden (dot) folders are listed like any other.
        QCOMPARE(childTexts(vol), (QStringList{".hidden", "alpha", "beta"}));
        QTreeWidgetItem *alpha = vol->child(1);
        QCOMPARE(DriveTree::key(alpha), rig.path("vol/alpha"));
        QCOMPARE(alpha->data(0, DriveTree::ImageRole).toInt(), 11);
        // A folder with subfolders gets a placeholder and the open-folder image when expanded.
        QCOMPARE(alpha->childCount(), 1);
        QVERIFY(DriveTree::isPlaceholder(alpha->child(0)));
        QCOMPARE(alpha->data(0, DriveTree::ExpandedImageRole).toInt(), 12);
        QCOMPARE(vol->child(0)->childCount(), 0);
        // A folder whose only subfolder is hidden can be expanded too.
        QTreeWidgetItem *beta = vol->child(2);
        QCOMPARE(beta->childCount(), 1);
        beta->setExpanded(true);
        QCOMPARE(childTexts(beta), QStringList{".cache"});
        // Expanding again adds nothing.
        vol->setExpanded(false);
        vol->setExpanded(true);
        QCOMPARE(vol->childCount(), 3);
        alpha->setExpanded(true);
        QCOMPARE(childTexts(alpha), QStringList{"inner"});

        // An empty volume ends with no children at all.
        QTreeWidgetItem *empty = tree->topLevelItem(1);
        empty->setExpanded(true);
        QCOMPARE(empty->childCount(), 0);

        // A volume that cannot be read stays collapsed with its placeholder, and a later try
        // reads it.
        QTreeWidgetItem *flaky = tree->topLevelItem(2);
        QVERIFY(QDir(rig.path("flaky")).removeRecursively());
        flaky->setExpanded(true);
        QVERIFY(!flaky->isExpanded());
        QCOMPARE(flaky->childCount(), 1);
        QVERIFY(DriveTree::isPlaceholder(flaky->child(0)));
        mkdirs(rig.path("flaky/back"));
        flaky->setExpanded(true);
        QVERIFY(flaky->isExpanded());
        QCOMPARE(childTexts(flaky), QStringList{"back"});
    }

    void longNamesScrollSideways()
    {
        WindowRig rig;
        DriveTree *tree = rig.w.driveTree();
        const QString longName = QStringLiteral("a folder with a name far longer than the tree is wide ").repeated(3).trimmed();
        mkdirs(rig.path("vol/") + longName);
        tree->BuildDriveTree({platform::Volume{rig.path("vol"), rig.path("vol"), platform::VolumeKind::Fixed}});
        QVERIFY(rig.showActive());
        tree->topLevelItem(0)->setExpanded(true);
        QCOMPARE(tree->topLevelItem(0)->child(0)->text(0), longName);
        // The column grows with the name, and the tree scrolls sideways to show all of it.
        QTRY_VERIFY(tree->columnWidth(0) > QFontMetrics(tree->font()).horizontalAdvance(longName));
        QTRY_VERIFY(tree->horizontalScrollBar()->maximum() > 0);
        QVERIFY(tree->horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff);
    }

    void clickMarksAndSelectFromTree()
    {
        WindowRig rig;
        formmain &w = rig.w;
        DriveTree *tree = w.driveTree();
        mkdirs(rig.path("vol/docs"));
        mkdirs(rig.path("vol/music"));
        tree->BuildDriveTree({platform::Volume{rig.path("vol"), rig.path("vol"), platform::VolumeKind::Fixed}});
        QTreeWidgetItem *vol = tree->topLevelItem(0);
        vol->setExpanded(true);
        QTreeWidgetItem *docs = vol->child(0);
        QTreeWidgetItem *music = vol->child(1);

        // A click with the left button marks the node and gives it the open-folder image.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect r = tree->visualItemRect(docs);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(tree->TreeMouseButton, 1);
        QVERIFY(DriveTree::isChecked(docs));
        QVERIFY(docs->font(0).bold());
        QCOMPARE(w.toolTip(Ctl::TreeView1), rig.path("vol/docs"));
        QCOMPARE(docs->data(0, DriveTree::SelectedImageRole).toInt(), 12);

        // A right click marks the node but leaves its selected image; the previous mark goes.
        const QRect r2 = tree->visualItemRect(music);
        QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, r2.center());
        QCOMPARE(tree->TreeMouseButton, 2);
        QVERIFY(DriveTree::isChecked(music) && music->font(0).bold());
        QVERIFY(!DriveTree::isChecked(docs) && !docs->font(0).bold());
        // The mark changes only the weight, not the tree's font.
        QCOMPARE(music->font(0).family(), tree->font().family());
        QCOMPARE(music->font(0).pointSizeF(), 9.6);
        QCOMPARE(music->data(0, DriveTree::SelectedImageRole).toInt(), 0);
        // A volume node never takes the folder image.
        tree->TreeMouseButton = 1;
        w.TreeNodeClick(vol);
        QCOMPARE(vol->data(0, DriveTree::SelectedImageRole).toInt(), 0);
        QVERIFY(DriveTree::isChecked(vol));

        // "S" on a folder node: a message, the node painted like the source box, the path in it.
        tree->setCurrentItem(docs);
        rig.asker.expect(Button::Ok);
        static_cast<QAbstractButton *>(w.control(Ctl::Command3))->click();
        QCOMPARE(rig.asker.asked.last().text, QStringLiteral("Source Location : ") + rig.path("vol/docs"));
        QCOMPARE(rig.asker.asked.last().buttons, Buttons::Ok);
        QCOMPARE(w.text(Ctl::txtSource), rig.path("vol/docs"));
        QCOMPARE(docs->background(0).color(), QColor(192, 255, 255));
        // "T" on the volume node.
        tree->setCurrentItem(vol);
        rig.asker.expect(Button::Ok);
        static_cast<QAbstractButton *>(w.control(Ctl::Command4))->click();
        QCOMPARE(rig.asker.asked.last().text, QStringLiteral("Target Location : ") + rig.path("vol"));
        QCOMPARE(w.text(Ctl::txtTarget), rig.path("vol"));
        QCOMPARE(vol->background(0).color(), QColor(192, 192, 255));
        QCOMPARE(docs->background(0).color(), QColor(192, 255, 255));

        // No selected node: nothing at all.
        tree->clearSelection();
        static_cast<QAbstractButton *>(w.control(Ctl::Command3))->click();
        QCOMPARE(rig.asker.asked.size(), 2);
    }

    // A folder whose name is not UTF-8 shows with U+FFFD in the tree, and choosing it puts the
    // exact path into the folder box.
    void byteNamedFolderIsChosenExactly()
    {
        WindowRig rig;
        formmain &w = rig.w;
        DriveTree *tree = w.driveTree();
        const QByteArray vol = platform::encodeName(rig.path("vol"));
        mkdirs(rig.path("vol"));
        const QByteArray odd = vol + "/caf\xe9";
        QVERIFY(::mkdir(odd.constData(), 0755) == 0);
        QVERIFY(::mkdir((odd + "/inner").constData(), 0755) == 0);
        tree->BuildDriveTree({platform::Volume{rig.path("vol"), rig.path("vol"), platform::VolumeKind::Fixed}});
        QTreeWidgetItem *top = tree->topLevelItem(0);
        top->setExpanded(true);
        QCOMPARE(top->childCount(), 1);
        QTreeWidgetItem *node = top->child(0);
        QCOMPARE(node->text(0), QString::fromUtf8("caf\xef\xbf\xbd"));
        QCOMPARE(platform::encodeName(DriveTree::key(node)), odd);
        QCOMPARE(node->childCount(), 1); // its subfolder was found through the exact name
        tree->setCurrentItem(node);
        rig.asker.expect(Button::Ok, QStringLiteral("Source Location : "));
        w.SelectFromTree(Ctl::txtSource);
        QCOMPARE(platform::encodeName(w.text(Ctl::txtSource)), odd);
        ::rmdir((odd + "/inner").constData());
        ::rmdir(odd.constData());
    }

    void rootVolumeJoinsWithOneSeparator()
    {
        WindowRig rig;
        formmain &w = rig.w;
        DriveTree *tree = w.driveTree();
        tree->BuildDriveTree({platform::Volume{QStringLiteral("/"), QStringLiteral("/"), platform::VolumeKind::Fixed}});
        QTreeWidgetItem *root = tree->topLevelItem(0);
        root->setExpanded(true);
        // Any folder right below "/" will do.
        QVERIFY(root->childCount() > 0);
        QTreeWidgetItem *top = root->child(0);
        const QString path = QStringLiteral("/") + top->text(0);
        QCOMPARE(DriveTree::key(top), path);
        QCOMPARE(DriveTree::fullPath(top), path);
        tree->setCurrentItem(top);
        rig.asker.expect(Button::Ok, QStringLiteral("Source Location : ") + path);
        w.SelectFromTree(Ctl::txtSource);
        QCOMPARE(rig.asker.asked.last().text, QStringLiteral("Source Location : ") + path);
        QCOMPARE(w.text(Ctl::txtSource), path);
        tree->setCurrentItem(root);
        rig.asker.expect(Button::Ok);
        w.SelectFromTree(Ctl::txtTarget);
        QCOMPARE(w.text(Ctl::txtTarget), QStringLiteral("/"));
    }
};

QTEST_MAIN(TestFolderSelection)
#include "tst_folderselection.moc"
