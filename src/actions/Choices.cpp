// The seven action choices: their texts, the description of the selected one, and the Options
// menu that mirrors the choice box.
#include "actions/Choices.h"
#include "core/Format.h"

const QStringList &ChoiceTexts()
{
    static const QStringList texts = {
        QStringLiteral("Source > Target - Copy Files New and changed from Source"),
        QStringLiteral("Source > Target - Copy Files New From Source"),
        QStringLiteral("Source > Target - Copy Files Changed from Source"),
        QStringLiteral("Target > Source - Copy Files Changed from Target"),
        QStringLiteral("Target <=> Source Copy Files having Size Difference"),
        QStringLiteral("Delete Files Orphan from Target"),
        QStringLiteral("Source = Target - Copy Exact to Target - Overwrite All (Delete Orphans from Target)"),
    };
    return texts;
}

namespace {

constexpr quint32 kWhite = 0xFFFFFF;

QString count(qint64 n)
{
    return FormatNumber(n, QStringLiteral("#,###,###"));
}

struct Describer {
    Ctl list;
    const char *copyCaption;
    const char *menuCaption;
    const char *emptyText;
    const char *countText;
};

// Choices 1 to 5.
const Describer kDescribers[5] = {
    {Ctl::LstNewFile, "Copy New files from Source to Target", "Copy only New Files",
     "No new Files were found to Copy from source to Target", " items New in Source and missing in Target"},
    {Ctl::LstChngFile, "Copy Changed Files/Folders from Source to Target", "Copy only changed Files",
     "No changed files were found in Source.", " items changed on Source"},
    {Ctl::LstChngFileTarget, "Copy changed Files/Folders from Target to Source", "Copy changed Files only from Target",
     "No Files found in Target that are changed", " items changed on Target"},
    {Ctl::LstSizeVariations, "Copy only files having Size difference. (Bidirectional)", "Copy Files with size difference (Bidirectional)",
     "No Files found with size difference.", " items have Size Variations"},
    {Ctl::LstOrphans, "Delete Orphan Files on Target", "Only Delete Orphan Files from target",
     "No oprphan Files found in Target to Delate.", " items are orphans on Target"},
};

} // namespace

void CheckChoiceMenu(Context &ctx, int k)
{
    for (int i = 1; i <= 7; ++i)
        ctx.ui->setValue(Ctl::itm, 0, i);
    if (k >= 1 && k <= 7)
        ctx.ui->setValue(Ctl::itm, 1, k);
}

void CheckChoiceMenu(Context &ctx)
{
    CheckChoiceMenu(ctx, ctx.ui->value(Ctl::cboChoices) + 1);
}

void DescribeChoice(Context &ctx)
{
    UiHost *ui = ctx.ui;
    const int index = ui->value(Ctl::cboChoices);
    ui->setText(Ctl::lblListStatus1, QString());
    if (index < 0 || index > 6)
        return; // nothing selected: nothing to describe
    CheckChoiceMenu(ctx, index + 1);
    for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
        ui->setVisible(l, false);

    const qint64 newRows = ui->rowCount(Ctl::LstNewFile);
    const qint64 changedRows = ui->rowCount(Ctl::LstChngFile);
    if (index == 0) {
        ui->setVisible(Ctl::LstNewFile, true);
        if (ctx.NewItems.empty()) {
            ui->setVisible(Ctl::LstNewFile, false);
            ui->setVisible(Ctl::LstChngFile, true);
        }
        const QString line = QStringLiteral("New Files : ") + count(newRows) + QStringLiteral(" Changed Files : ")
            + count(changedRows) + QStringLiteral(" Total Files to Copy ") + count(newRows + changedRows);
        ui->setText(Ctl::lblListStatus1, line);
        ui->setText(Ctl::lblListStatus, line);
        ui->setText(Ctl::cmdSync, QStringLiteral("Copy New, Changed File from Source to Target"));
        ui->setText(Ctl::lblListStatus1, QString());
        return;
    }
    if (index == 6) {
        ui->setBackColor(Ctl::LstNewFile, kWhite);
        ui->setVisible(Ctl::LstNewFile, true);
        if (ctx.NewItems.empty()) {
            ui->setBackColor(Ctl::LstChngFile, kWhite);
            ui->setVisible(Ctl::LstChngFile, true);
        } else if (ctx.ChangedItems.empty()) {
            ui->setBackColor(Ctl::LstChngFileTarget, kWhite);
            ui->setVisible(Ctl::LstChngFileTarget, true);
        } else if (ctx.TargetChangedItems.empty()) {
            ui->setVisible(Ctl::LstOrphans, true);
        } else if (ctx.OrphanItems.empty()) {
            ui->setVisible(Ctl::LstOrphans, false);
            ui->setVisible(Ctl::LstNewFile, true);
        }
        const qint64 orphanRows = ui->rowCount(Ctl::LstOrphans);
        const QString line = QStringLiteral("New Files : ") + count(newRows) + QStringLiteral(" Changed Files : ")
            + count(changedRows) + QStringLiteral(" Total Files to Copy ") + count(newRows + changedRows)
            + QStringLiteral(" Orphan Files to Delete :") + count(orphanRows) + QStringLiteral(" Total Files to Process : ")
            + count(newRows + changedRows + orphanRows);
        ui->setText(Ctl::lblListStatus1, line);
        ui->setText(Ctl::lblListStatus, line);
        ui->setText(Ctl::cmdSync, QStringLiteral("Overwrite All (Orphans Delete from Target)"));
        ui->setText(Ctl::mnuCopy, QStringLiteral("Overwrite All"));
        ui->setText(Ctl::lblListStatus1, QString());
        return;
    }

    const Describer &d = kDescribers[index - 1];
    ui->setVisible(d.list, true);
    ui->setText(Ctl::cmdSync, QString::fromLatin1(d.copyCaption));
    ui->setText(Ctl::mnuCopy, QString::fromLatin1(d.menuCaption));
    bool empty = false;
    switch (index) {
    case 1: empty = ctx.NewItems.empty(); break;
    case 2: empty = ctx.ChangedItems.empty(); break;
    case 3: empty = ctx.TargetChangedItems.empty(); break;
    case 4: empty = ui->rowCount(Ctl::LstSizeVariations) < 1; break;
    default: empty = ctx.OrphanItems.empty(); break;
    }
    if (empty) {
        ui->setText(Ctl::lblListStatus1, QString::fromLatin1(d.emptyText));
    } else {
        const QString line = count(ui->rowCount(d.list)) + QString::fromLatin1(d.countText);
        ui->setText(Ctl::lblListStatus1, line);
        ui->setText(Ctl::lblListStatus, line);
    }
}

void CboChoicesClick(Context &ctx)
{
    if (!ctx.ChoiceEventsSuppressed)
        DescribeChoice(ctx);
}

void ItmClick(Context &ctx, int k)
{
    if (k < 1 || k > 7)
        return;
    ctx.ui->setValue(Ctl::cboChoices, k - 1);
    CheckChoiceMenu(ctx, k);
}
