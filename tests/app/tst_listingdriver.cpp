// The reset that begins every listing.
#include "TestRig.h"
#include "app/ListingDriver.h"
#include "scan/ListingCache.h"
#include <QTest>

class TestListingDriver : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }

    void beginListingResetsEverything()
    {
        TestRig rig;
        FakeHost &h = rig.host;
        h.setText(Ctl::txtSource, QStringLiteral("/data"));
        h.setText(Ctl::txtTarget, QStringLiteral("/backup//"));
        h.setText(Ctl::lblListStatus, QStringLiteral("busy"));
        rig.ctx.StopRequested = true;
        for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
            h.addRows(l, {{QStringLiteral("/x")}});
        for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles})
            for (int i = 0; i < 2; ++i)
                h.setText(l, QStringLiteral("5"), i);
        const WorkItem w{QStringLiteral("/x"), false, 1, 0};
        rig.ctx.listing->source.append(-1, "x", 1, false, true, 1, 0);
        rig.ctx.listing->target.append(-1, "x", 1, false, true, 1, 0);
        rig.ctx.listing->PendingItemCount = 4;
        listingCache(rig.ctx).caseTwins.insert(QStringLiteral("/x"), QStringLiteral("/X"));
        rig.ctx.listing->NewItems = {w};
        rig.ctx.listing->ChangedItems = {w};
        rig.ctx.listing->TargetChangedItems = {w};
        rig.ctx.listing->OrphanItems = {w};
        rig.ctx.listing->SizeItems = {SizeItem{QStringLiteral("/x"), 1, 2}};
        h.setVisible(Ctl::LstNewFile, false);
        h.setEnabled(Ctl::cboChoices, false);
        h.setEnabled(Ctl::cmdSync, true);

        BeginListing(rig.ctx);

        QCOMPARE(h.text(Ctl::lblListStatus), QString());
        QCOMPARE(h.text(Ctl::txtSource), QStringLiteral("/data/"));
        QCOMPARE(h.text(Ctl::txtTarget), QStringLiteral("/backup/"));
        QVERIFY(!rig.ctx.StopRequested);
        for (Ctl c : {Ctl::cmdListFile, Ctl::cmdFolderSource, Ctl::cmdFolderTarget, Ctl::cmdSync})
            QVERIFY(!h.isEnabled(c));
        QVERIFY(h.isEnabled(Ctl::cmdExit));
        QVERIFY(h.isEnabled(Ctl::cmdStop));
        QVERIFY(h.isVisible(Ctl::cmdStop));
        QVERIFY(rig.ctx.listing->source.empty() && rig.ctx.listing->target.empty() && rig.ctx.listing->NewItems.empty());
        QVERIFY(!rig.ctx.listing->cache && rig.ctx.listing->PendingItemCount == 0);
        QVERIFY(rig.ctx.listing->ChangedItems.empty() && rig.ctx.listing->TargetChangedItems.empty() && rig.ctx.listing->OrphanItems.empty());
        QVERIFY(rig.ctx.listing->SizeItems.empty());
        for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
            QCOMPARE(h.rowCount(l), 0);
        for (Ctl l : {Ctl::lblTotalSize, Ctl::lblTotalFiles, Ctl::lblTotalFolders, Ctl::lblNewFiles, Ctl::lblChngFiles})
            for (int i = 0; i < 2; ++i)
                QCOMPARE(h.text(l, i), QStringLiteral("0"));
        QVERIFY(h.isVisible(Ctl::LstNewFile));
        QVERIFY(h.isEnabled(Ctl::cboChoices));
    }

    void folderTextsEndInExactlyOneSeparator()
    {
        TestRig rig;
        const QList<QPair<QString, QString>> cases = {
            {"/Data", "/Data/"}, {"/Backup/", "/Backup/"}, {"/x///", "/x/"}, {"/", "/"}, {"//", "/"}, {"", ""}};
        for (const auto &c : cases) {
            rig.host.setText(Ctl::txtSource, c.first);
            BeginListing(rig.ctx);
            QCOMPARE(rig.host.text(Ctl::txtSource), c.second);
        }
    }
};

QTEST_GUILESS_MAIN(TestListingDriver)
#include "tst_listingdriver.moc"
