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

// The choices of one step (NewItems to DeleteOrphans), in their order.
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
    for (Choice c : AllChoices)
        ctx.ui->setValue(Ctl::itm, 0, menuItemOf(c));
    if (isMenuItem(k))
        ctx.ui->setValue(Ctl::itm, 1, k);
}

void CheckChoiceMenu(Context &ctx)
{
    const int index = ctx.ui->value(Ctl::cboChoices);
    CheckChoiceMenu(ctx, isChoiceIndex(index) ? menuItemOf(choiceAt(index)) : 0);
}

namespace {

// The rows waiting to be copied (new and changed), as both status lines say them.
QString copyCountLine(qint64 newRows, qint64 changedRows)
{
    return QStringLiteral("New Files : ") + count(newRows) + QStringLiteral(" Changed Files : ") + count(changedRows)
        + QStringLiteral(" Total Files to Copy ") + count(newRows + changedRows);
}

// New and changed items: the new list, or the changed list when nothing is new. The count line
// is shown in the status line and emptied again; the menu's Copy caption stays.
void describeNewAndChanged(Context &ctx, qint64 newRows, qint64 changedRows)
{
    UiHost *ui = ctx.ui;
    ui->setVisible(Ctl::LstNewFile, true);
    if (ctx.listing->NewItems.empty()) {
        ui->setVisible(Ctl::LstNewFile, false);
        ui->setVisible(Ctl::LstChngFile, true);
    }
    const QString line = copyCountLine(newRows, changedRows);
    ui->setText(Ctl::lblListStatus1, line);
    ui->setText(Ctl::lblListStatus, line);
    ui->setText(Ctl::cmdSync, QStringLiteral("Copy New, Changed File from Source to Target"));
    ui->setText(Ctl::lblListStatus1, QString());
}

// The exact copy: the new list in white, and over it the first list of the run's later steps
// that has something to show; the count line adds the orphans to delete.
void describeExactCopy(Context &ctx, qint64 newRows, qint64 changedRows)
{
    UiHost *ui = ctx.ui;
    ui->setBackColor(Ctl::LstNewFile, kWhite);
    ui->setVisible(Ctl::LstNewFile, true);
    if (ctx.listing->NewItems.empty()) {
        ui->setBackColor(Ctl::LstChngFile, kWhite);
        ui->setVisible(Ctl::LstChngFile, true);
    } else if (ctx.listing->ChangedItems.empty()) {
        ui->setBackColor(Ctl::LstChngFileTarget, kWhite);
        ui->setVisible(Ctl::LstChngFileTarget, true);
    } else if (ctx.listing->TargetChangedItems.empty()) {
        ui->setVisible(Ctl::LstOrphans, true);
    } else if (ctx.listing->OrphanItems.empty()) {
        ui->setVisible(Ctl::LstOrphans, false);
        ui->setVisible(Ctl::LstNewFile, true);
    }
    const qint64 orphanRows = ui->rowCount(Ctl::LstOrphans);
    const QString line = copyCountLine(newRows, changedRows) + QStringLiteral(" Orphan Files to Delete :") + count(orphanRows)
        + QStringLiteral(" Total Files to Process : ") + count(newRows + changedRows + orphanRows);
    ui->setText(Ctl::lblListStatus1, line);
    ui->setText(Ctl::lblListStatus, line);
    ui->setText(Ctl::cmdSync, QStringLiteral("Overwrite All (Orphans Delete from Target)"));
    ui->setText(Ctl::mnuCopy, QStringLiteral("Overwrite All"));
    ui->setText(Ctl::lblListStatus1, QString());
}

// Whether a single-step choice has nothing to act on. The size choice looks at its list's rows.
bool nothingToDo(Context &ctx, Choice choice)
{
    switch (choice) {
    case Choice::NewItems: return ctx.listing->NewItems.empty();
    case Choice::ChangedToTarget: return ctx.listing->ChangedItems.empty();
    case Choice::ChangedToSource: return ctx.listing->TargetChangedItems.empty();
    case Choice::SizeDifferences: return ctx.ui->rowCount(Ctl::LstSizeVariations) < 1;
    default: return ctx.listing->OrphanItems.empty();
    }
}

// A choice of one step: its list, its captions, and its row count or the text for nothing.
void describeSingleStep(Context &ctx, Choice choice)
{
    UiHost *ui = ctx.ui;
    const Describer &d = kDescribers[choiceIndex(choice) - 1];
    ui->setVisible(d.list, true);
    ui->setText(Ctl::cmdSync, QString::fromLatin1(d.copyCaption));
    ui->setText(Ctl::mnuCopy, QString::fromLatin1(d.menuCaption));
    if (nothingToDo(ctx, choice)) {
        ui->setText(Ctl::lblListStatus1, QString::fromLatin1(d.emptyText));
    } else {
        const QString line = count(ui->rowCount(d.list)) + QString::fromLatin1(d.countText);
        ui->setText(Ctl::lblListStatus1, line);
        ui->setText(Ctl::lblListStatus, line);
    }
}

} // namespace

void DescribeChoice(Context &ctx)
{
    UiHost *ui = ctx.ui;
    const int index = ui->value(Ctl::cboChoices);
    ui->setText(Ctl::lblListStatus1, QString());
    if (!isChoiceIndex(index))
        return; // nothing selected: nothing to describe
    const Choice choice = choiceAt(index);
    CheckChoiceMenu(ctx, menuItemOf(choice));
    for (Ctl l : {Ctl::LstNewFile, Ctl::LstChngFile, Ctl::LstChngFileTarget, Ctl::LstSizeVariations, Ctl::LstOrphans})
        ui->setVisible(l, false);

    const qint64 newRows = ui->rowCount(Ctl::LstNewFile);
    const qint64 changedRows = ui->rowCount(Ctl::LstChngFile);
    if (choice == Choice::NewAndChanged)
        describeNewAndChanged(ctx, newRows, changedRows);
    else if (choice == Choice::ExactCopy)
        describeExactCopy(ctx, newRows, changedRows);
    else
        describeSingleStep(ctx, choice);
}

void CboChoicesClick(Context &ctx)
{
    if (!ctx.ChoiceEventsSuppressed)
        DescribeChoice(ctx);
}

void ItmClick(Context &ctx, int k)
{
    if (!isMenuItem(k))
        return;
    ctx.ui->setValue(Ctl::cboChoices, choiceIndex(choiceOfMenuItem(k)));
    CheckChoiceMenu(ctx, k);
}
