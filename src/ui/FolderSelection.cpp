#include "ui/FolderSelection.h"
#include "platform/Platform.h"

namespace {
const char *const SelectTopLevel = "Select top level folder\\Drive for Source...";
}

bool FolderBoxOpen(Context &ctx, Ctl box)
{
    return ctx.ui->isEnabled(box);
}

QString browseTitle()
{
    return QStringLiteral("Quorvel Marni Syn : ") + QLatin1Char('\n') + QLatin1String(SelectTopLevel);
}

QString rootedBrowseTitle(Ctl box)
{
    if (box == Ctl::txtSource)
        return QStringLiteral("Quorvel Marni Syn : ") + QStringLiteral("\n\n") + QLatin1String(SelectTopLevel);
    return QLatin1String(SelectTopLevel);
}

QString BrowseForFolder(Context &ctx, const QString &initialPath)
{
    Question q;
    q.kind = QuestionKind::FolderDialog;
    q.title = ctx.appTitle();
    q.text = browseTitle();
    q.initialPath = initialPath;
    const Answer a = ctx.ui->ask(q);
    if (a.button == Button::Cancel || a.button == Button::Closed)
        return QString();
    return a.path;
}

void FolderButtonClick(Context &ctx, Ctl box)
{
    if (!FolderBoxOpen(ctx, box))
        return;
    const QString current = ctx.ui->text(box);
    const QString initial = current.isEmpty() ? platform::homeFolder() : current;
    const QString path = BrowseForFolder(ctx, initial);
    if (!path.isEmpty())
        ctx.ui->setText(box, path);
}

void FolderButtonRightPress(Context &ctx, Ctl box)
{
    if (!FolderBoxOpen(ctx, box))
        return;
    Question q;
    q.kind = QuestionKind::FolderDialog;
    q.title = ctx.appTitle();
    q.text = rootedBrowseTitle(box);
    q.initialPath = ctx.ui->text(box);
    q.rootedAtInitial = true;
    const Answer a = ctx.ui->ask(q);
    if (a.button == Button::Cancel || a.button == Button::Closed || a.path.isEmpty())
        return;
    ctx.ui->setText(box, a.path);
}

void SwapFolders(Context &ctx)
{
    if (!FolderBoxOpen(ctx, Ctl::txtSource) || !FolderBoxOpen(ctx, Ctl::txtTarget))
        return;
    const QString source = ctx.ui->text(Ctl::txtSource);
    ctx.ui->setText(Ctl::txtSource, ctx.ui->text(Ctl::txtTarget));
    ctx.ui->setText(Ctl::txtTarget, source);
}

bool IsExistingFolder(const QString &path)
{
    return platform::folderExists(path);
}

bool DropOnFolderBox(Context &ctx, Ctl box, const QStringList &paths)
{
    if (paths.isEmpty() || !FolderBoxOpen(ctx, box) || !IsExistingFolder(paths.first()))
        return false;
    ctx.ui->setText(box, paths.first());
    return true;
}

void PatternChanged(Context &ctx)
{
    if (ctx.ui->text(Ctl::txtPattern).trimmed().isEmpty())
        ctx.ui->setText(Ctl::txtPattern, QStringLiteral("*.*"));
}

void PatternLostFocus(Context &ctx)
{
    const QString t = ctx.ui->text(Ctl::txtPattern);
    const QString trimmed = t.trimmed();
    if (trimmed != t)
        ctx.ui->setText(Ctl::txtPattern, trimmed);
}
