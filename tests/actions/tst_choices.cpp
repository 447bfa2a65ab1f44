// The action choices: each description with and without items, the compound choice 6, the
// Options menu mirror and the suppressed selection event.
#include "TestRig.h"
#include "actions/Choices.h"
#include "app/Events.h"
#include <QTest>

namespace {

const Ctl kLists[] = {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans};

struct ChoiceRig : TestRig {
    ChoiceRig()
    {
        host.setItems(Ctl::cboChoices, ChoiceTexts());
        ctx.ChoiceEventsSuppressed = true;
        host.setValue(Ctl::cboChoices, 0);
        ctx.ChoiceEventsSuppressed = false;
    }
    // n rows in a list and n entries in its work array.
    void fill(Ctl list, WorkArray *array, int n)
    {
        QList<QStringList> rows;
        for (int i = 0; i < n; ++i) {
            const QString p = QStringLiteral("/s/f%1").arg(i);
            rows << QStringList{p};
            if (array)
                array->push_back(WorkItem{p, false, 1, 0});
        }
        host.addRows(list, rows);
    }
    QList<Ctl> visibleLists() const
    {
        QList<Ctl> out;
        for (Ctl l : kLists)
            if (host.isVisible(l))
                out << l;
        return out;
    }
    QList<int> checkedItems() const
    {
        QList<int> out;
        for (int k = 1; k <= 7; ++k)
            if (host.value(Ctl::itm, k))
                out << k;
        return out;
    }
};

} // namespace

class TestChoices : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void descriptionsWithItems()
    {
        ChoiceRig rig;
        rig.fill(Ctl::LstNewFile, &rig.ctx.listing->NewItems, 1234);
        rig.fill(Ctl::LstChngFile, &rig.ctx.listing->ChangedItems, 2);
        rig.fill(Ctl::LstChngFileTarget, &rig.ctx.listing->TargetChangedItems, 3);
        rig.fill(Ctl::LstSizeVariations, nullptr, 4);
        rig.ctx.listing->SizeItems.resize(4);
        rig.fill(Ctl::LstOrphans, &rig.ctx.listing->OrphanItems, 5);
        FakeHost &h = rig.host;

        h.setValue(Ctl::cboChoices, 0);
        QCOMPARE(h.text(Ctl::lblListStatus), QStringLiteral("New Files : 1,234 Changed Files : 2 Total Files to Copy 1,236"));
        QCOMPARE(h.text(Ctl::lblListStatus1), QString());
        QCOMPARE(h.text(Ctl::cmdSync), QStringLiteral("Copy New, Changed File from Source to Target"));
        QCOMPARE(h.text(Ctl::mnuCopy), QString()); // choice 0 leaves the menu caption
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstNewFile}));
        QCOMPARE(rig.checkedItems(), QList<int>({1}));

        struct Want { int index; Ctl list; const char *status; const char *copy; const char *menu; };
        const Want wants[] = {
            {1, Ctl::LstNewFile, "1,234 items New in Source and missing in Target", "Copy New files from Source to Target", "Copy only New Files"},
            {2, Ctl::LstChngFile, "2 items changed on Source", "Copy Changed Files/Folders from Source to Target", "Copy only changed Files"},
            {3, Ctl::LstChngFileTarget, "3 items changed on Target", "Copy changed Files/Folders from Target to Source", "Copy changed Files only from Target"},
            {4, Ctl::LstSizeVariations, "4 items have Size Variations", "Copy only files having Size difference. (Bidirectional)", "Copy Files with size difference (Bidirectional)"},
            {5, Ctl::LstOrphans, "5 items are orphans on Target", "Delete Orphan Files on Target", "Only Delete Orphan Files from target"},
        };
        for (const Want &w : wants) {
            h.setValue(Ctl::cboChoices, w.index);
            QCOMPARE(h.text(Ctl::lblListStatus1), QString::fromLatin1(w.status));
            QCOMPARE(h.text(Ctl::lblListStatus), QString::fromLatin1(w.status));
            QCOMPARE(h.text(Ctl::cmdSync), QString::fromLatin1(w.copy));
            QCOMPARE(h.text(Ctl::mnuCopy), QString::fromLatin1(w.menu));
            QCOMPARE(rig.visibleLists(), QList<Ctl>({w.list}));
            QCOMPARE(rig.checkedItems(), QList<int>({w.index + 1}));
        }
    }

    void descriptionsWhenEmpty()
    {
        ChoiceRig rig;
        FakeHost &h = rig.host;
        h.setText(Ctl::lblListStatus, QStringLiteral("Ready"));
        const char *empties[] = {
            "No new Files were found to Copy from source to Target", "No changed files were found in Source.",
            "No Files found in Target that are changed", "No Files found with size difference.",
            "No oprphan Files found in Target to Delate."};
        for (int i = 1; i <= 5; ++i) {
            h.setValue(Ctl::cboChoices, i);
            QCOMPARE(h.text(Ctl::lblListStatus1), QString::fromLatin1(empties[i - 1]));
            QCOMPARE(h.text(Ctl::lblListStatus), QStringLiteral("Ready")); // the status line keeps its text
        }
        h.setValue(Ctl::cboChoices, 0);
        QCOMPARE(h.text(Ctl::lblListStatus), QStringLiteral("New Files :  Changed Files :  Total Files to Copy "));
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstChngFile})); // nothing new: the changed list
    }

    // Choice 4 tests the rows of its list, not the count.
    void sizeChoiceUsesTheRows()
    {
        ChoiceRig rig;
        rig.ctx.listing->SizeItems.resize(3);
        rig.host.setValue(Ctl::cboChoices, 4);
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QStringLiteral("No Files found with size difference."));
    }

    void choiceSix()
    {
        ChoiceRig rig;
        FakeHost &h = rig.host;
        h.setValue(Ctl::cboChoices, 6);
        QCOMPARE(h.text(Ctl::lblListStatus),
                 QStringLiteral("New Files :  Changed Files :  Total Files to Copy  Orphan Files to Delete : Total Files to Process : "));
        QCOMPARE(h.text(Ctl::lblListStatus1), QString());
        QCOMPARE(h.text(Ctl::cmdSync), QStringLiteral("Overwrite All (Orphans Delete from Target)"));
        QCOMPARE(h.text(Ctl::mnuCopy), QStringLiteral("Overwrite All"));
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstNewFile, Ctl::LstChngFile}));
        QCOMPARE(rig.checkedItems(), QList<int>({7}));

        rig.fill(Ctl::LstNewFile, &rig.ctx.listing->NewItems, 2);
        h.setValue(Ctl::cboChoices, 6);
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstNewFile, Ctl::LstChngFileTarget}));
        rig.fill(Ctl::LstChngFile, &rig.ctx.listing->ChangedItems, 3);
        h.setValue(Ctl::cboChoices, 6);
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstNewFile, Ctl::LstOrphans}));
        rig.fill(Ctl::LstChngFileTarget, &rig.ctx.listing->TargetChangedItems, 1);
        h.setValue(Ctl::cboChoices, 6);
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstNewFile}));
        rig.fill(Ctl::LstOrphans, &rig.ctx.listing->OrphanItems, 4);
        h.setValue(Ctl::cboChoices, 6);
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstNewFile}));
        QCOMPARE(h.text(Ctl::lblListStatus),
                 QStringLiteral("New Files : 2 Changed Files : 3 Total Files to Copy 5 Orphan Files to Delete :4 Total Files to Process : 9"));
    }

    void itm4SelectsEntryThree()
    {
        ChoiceRig rig;
        rig.fill(Ctl::LstChngFileTarget, &rig.ctx.listing->TargetChangedItems, 2);
        rig.host.setValue(Ctl::itm, 1, 1);
        ItmClick(rig.ctx, 4);
        QCOMPARE(rig.host.value(Ctl::cboChoices), 3);
        QCOMPARE(rig.checkedItems(), QList<int>({4}));
        QCOMPARE(rig.host.text(Ctl::lblListStatus), QStringLiteral("2 items changed on Target"));
        QCOMPARE(rig.visibleLists(), QList<Ctl>({Ctl::LstChngFileTarget}));
    }

    void suppressedSelectionDescribesNothing()
    {
        ChoiceRig rig;
        rig.host.setText(Ctl::cmdSync, QStringLiteral("&Copy"));
        rig.ctx.ChoiceEventsSuppressed = true;
        rig.host.setValue(Ctl::cboChoices, 5);
        QCOMPARE(rig.host.text(Ctl::cmdSync), QStringLiteral("&Copy"));
        QCOMPARE(rig.checkedItems(), QList<int>());
        rig.ctx.ChoiceEventsSuppressed = false;
        CboChoicesClick(rig.ctx);
        QCOMPARE(rig.host.text(Ctl::cmdSync), QStringLiteral("Delete Orphan Files on Target"));
        QCOMPARE(rig.checkedItems(), QList<int>({6}));
    }

    void noSelectionDescribesNothing()
    {
        ChoiceRig rig;
        rig.ctx.ChoiceEventsSuppressed = true;
        rig.host.setValue(Ctl::cboChoices, -1);
        rig.ctx.ChoiceEventsSuppressed = false;
        rig.host.setText(Ctl::lblListStatus1, QStringLiteral("x"));
        DescribeChoice(rig.ctx);
        QCOMPARE(rig.host.text(Ctl::lblListStatus1), QString());
        QCOMPARE(rig.checkedItems(), QList<int>());
    }
};

QTEST_GUILESS_MAIN(TestChoices)
#include "tst_choices.moc"
