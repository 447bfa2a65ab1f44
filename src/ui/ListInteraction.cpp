#include "ui/ListInteraction.h"
#include "platform/Platform.h"

QString ParentFolder(const QString &path)
{
    if (path.size() < 3)
        return path;
    const qsizetype last = path.lastIndexOf(platform::separator());
    if (last < 0)
        return path;   // nothing to cut back to
    return path.left(last + 1);
}

bool listStatusText(Ctl list, const QStringList &row, QString *text)
{
    if (row.isEmpty())
        return false;
    const QString &path = row.at(0);
    const bool hasSecond = row.size() >= 2;
    switch (list) {
    case Ctl::LstNewFile:
        if (!hasSecond)
            return false;
        *text = QStringLiteral("Source ") + row.at(1) + QStringLiteral(" : ") + path;
        return true;
    case Ctl::LstChngFile:
        *text = QStringLiteral("Source changed : ") + path;
        return true;
    case Ctl::LstChngFileTarget:
        if (!hasSecond)
            return false;
        *text = QStringLiteral("Target changed  ") + row.at(1) + QStringLiteral(" : ") + path;
        return true;
    case Ctl::LstSizeVariations:
        *text = QStringLiteral("Source : ") + path;
        return true;
    case Ctl::LstOrphans:
        if (!hasSecond)
            return false;
        *text = QStringLiteral("Only on Target ") + row.at(1) + QStringLiteral(" : ") + path;
        return true;
    default:
        return false;
    }
}

void nextSortState(int headerPosition, int *sortKey, Qt::SortOrder *order)
{
    if (headerPosition == *sortKey + 1) {
        *order = (*order == Qt::AscendingOrder) ? Qt::DescendingOrder : Qt::AscendingOrder;
    } else {
        *sortKey = headerPosition - 1;
        *order = Qt::AscendingOrder;
    }
}

QString itemPositionText(int key, int selectedRow, int rowCount)
{
    if (selectedRow < 1 || rowCount < 1)
        return QString();
    if (key == Qt::Key_Down && selectedRow != rowCount)
        return QStringLiteral("Item %1 of %2").arg(selectedRow + 1).arg(rowCount);
    if (key == Qt::Key_Up && selectedRow != 1)
        return QStringLiteral("Item %1 of %2").arg(selectedRow - 1).arg(rowCount);
    return QString();
}

void OpenFile(Context &ctx, const QString &path)
{
    const Answer a = ctx.ui->ask(messageBox(
        QStringLiteral("Do you want to open next level parent folder\nY -  Open Source File Location ( Parent Folder )\nN -  Open File."),
        Buttons::YesNoCancel, QStringLiteral("Quorvel Marnisyn")));
    const QString target = a.button == Button::Yes ? ParentFolder(path) : path;
    ctx.ui->openWithDesktop(target);
}
