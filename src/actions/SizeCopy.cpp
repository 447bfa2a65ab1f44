// Copy of the files whose lengths differ, as chosen in the size dialog: always source to target.
// The exact copy takes them all without asking; a mirror run that leaves them names them.
#include "actions/Steps.h"

using namespace steps;

namespace {

// Shows the size dialog and keeps its answer. OK sets the two choices from the boxes; Cancel
// keeps them. Closing the dialog without a button counts as Cancel: going on with the boxes of
// an earlier showing would copy files the user never chose this time.
void askSizes(Context &ctx)
{
    Question q;
    q.kind = QuestionKind::SizeDialog;
    q.title = QStringLiteral("Select Size(s) to Copy");
    q.buttons = Buttons::OkCancel;
    const Answer a = ctx.ui->ask(q);
    if (a.button == Button::Ok) {
        ctx.CopyLargerChosen = a.check1;
        ctx.CopySmallerChosen = a.check2;
        ctx.SizeCopyCancelled = false;
    } else {
        ctx.SizeCopyCancelled = true;
    }
}

// The paths of the files the user chose to copy, in their places; the place of a file not
// chosen stays empty.
std::vector<QString> chosenPaths(const Context &ctx)
{
    std::vector<QString> paths;
    paths.reserve(ctx.listing->SizeItems.size());
    for (const SizeItem &item : ctx.listing->SizeItems) {
        const bool chosen = (ctx.CopyLargerChosen && item.SourceSize > item.TargetSize)
            || (ctx.CopySmallerChosen && item.SourceSize < item.TargetSize);
        paths.push_back(chosen ? item.Path : QString());
    }
    return paths;
}

} // namespace

void CopySizeDifferences(Context &ctx)
{
    UiHost &ui = *ctx.ui;
    askSizes(ctx);
    if (ctx.SizeCopyCancelled) {
        ui.ask(messageBox(QStringLiteral("Different Size Files Copy canceled by user."), Buttons::Ok,
                          QStringLiteral("Quorvel Marnisyn.... User Cancel")));
        return;
    }

    Pace pace(ctx, Pace::Mode::Copy);
    ctx.log.writeB(QStringLiteral(" ..................Starting Diff Size Files update for ")
                   + QString::number(ctx.listing->SizeItems.size()) + QStringLiteral(" items."));
    const ListedCopy sizes{QStringLiteral("Copying size diff. file  "), ui.text(Ctl::txtSource), ui.text(Ctl::txtTarget),
                           false, QStringLiteral(" Copied diff. size file: "), QStringLiteral(" to ")};
    if (!CopyListedFiles(ctx, pace, sizes, chosenPaths(ctx)))
        return;
    ui.setText(Ctl::lblListStatus, QStringLiteral("Different Size File Copy Complete."));
}

namespace {

// The files of different length that no date copy takes: the same time on both sides.
std::vector<QString> sameTimePaths(const Context &ctx)
{
    std::vector<QString> paths;
    for (const SizeItem &item : ctx.listing->SizeItems)
        if (item.SameTime)
            paths.push_back(item.Path);
    return paths;
}

} // namespace

void CopyAllSizeDifferences(Context &ctx)
{
    const std::vector<QString> paths = sameTimePaths(ctx);
    if (paths.empty())
        return;
    UiHost &ui = *ctx.ui;
    Pace pace(ctx, Pace::Mode::Copy);
    ctx.log.writeB(QStringLiteral(" ..................Starting Diff Size Files update for ")
                   + QString::number(paths.size()) + QStringLiteral(" items."));
    const ListedCopy sizes{QStringLiteral("Copying size diff. file  "), ui.text(Ctl::txtSource), ui.text(Ctl::txtTarget),
                           false, QStringLiteral(" Copied diff. size file: "), QStringLiteral(" to ")};
    if (!CopyListedFiles(ctx, pace, sizes, paths))
        return;
    ui.setText(Ctl::lblListStatus, QStringLiteral("Different Size File Copy Complete."));
}

qint32 LogSizesLeftAlone(Context &ctx)
{
    const QString S = ctx.ui->text(Ctl::txtSource), T = ctx.ui->text(Ctl::txtTarget);
    const std::vector<QString> paths = sameTimePaths(ctx);
    for (const QString &path : paths)
        ctx.log.writeB(QStringLiteral(" Size differs, left as it is: ") + Counterpart(path, S, T));
    const qint32 count = qint32(paths.size());
    if (count > 0)
        ctx.log.writeB(QStringLiteral(" Files of different size left as they are : ") + CounterText(count)
                       + QStringLiteral(" (Copy Exact to Target puts the source's version over them)."));
    return count;
}
