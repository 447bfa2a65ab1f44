#include "ui/DriveTree.h"
#include "ui/FormMainLook.h"
#include "ui/Widgets.h"
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QToolTip>
#include <QTreeWidgetItemIterator>

namespace {

// The subfolders of a folder in name order, hidden (dot) folders included as the listing takes
// them too; false when the folder cannot be read. Names are
// the exact bytes on disk, so a folder whose name is not UTF-8 is opened as itself.
bool listSubfolders(const QString &folder, QStringList *names)
{
    if (!platform::folderReadable(folder))
        return false;
    return platform::subfolderNames(folder, names);
}

bool hasSubfolder(const QString &folder)
{
    QStringList one;
    return platform::subfolderNames(folder, &one, true) && !one.isEmpty();
}

QString joinPath(const QString &parent, const QString &name)
{
    const QChar sep = platform::separator();
    return parent.endsWith(sep) ? parent + name : parent + sep + name;
}

} // namespace

DriveTree::DriveTree(QWidget *parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    setHeaderHidden(true);
    // Hidden, but read out by assistive tools as the tree's column.
    setHeaderLabel(QStringLiteral("Drives and folders"));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setUniformRowHeights(true);
    setRootIsDecorated(true);
    setExpandsOnDoubleClick(true);
    // The one column is as wide as its longest name; a name longer than the tree is wide
    // scrolls into view sideways.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QStyle *s = QApplication::style();
    const QStyle::StandardPixmap pix[12] = {
        QStyle::SP_DriveCDIcon, QStyle::SP_FileIcon, QStyle::SP_FileDialogContentsView,
        QStyle::SP_DesktopIcon, QStyle::SP_DriveFDIcon, QStyle::SP_DriveHDIcon,
        QStyle::SP_ComputerIcon, QStyle::SP_DirHomeIcon, QStyle::SP_DriveNetIcon,
        QStyle::SP_TrashIcon, QStyle::SP_DirClosedIcon, QStyle::SP_DirOpenIcon,
    };
    for (QStyle::StandardPixmap p : pix)
        images_ << QIcon(s->standardIcon(p).pixmap(16, 16));

    connect(this, &QTreeWidget::itemExpanded, this, &DriveTree::expandNode);
    connect(this, &QTreeWidget::itemCollapsed, this, &DriveTree::updateIcon);
}

const QStringList &DriveTree::imageKeys()
{
    static const QStringList keys = {
        "CDROM", "File", "ControlPanel", "Desktop", "Floppy", "HardDrive", "MyComputer",
        "MyDocuments", "Netwerk", "RecycleBin", "FolderClosed", "FolderOpen",
    };
    return keys;
}

QIcon DriveTree::image(int position) const
{
    return position >= 1 && position <= images_.size() ? images_.at(position - 1) : QIcon();
}

int DriveTree::imageForVolume(platform::VolumeKind kind)
{
    switch (kind) {
    case platform::VolumeKind::Removable: return Floppy;
    case platform::VolumeKind::Fixed: return HardDrive;
    default: return CDROM;
    }
}

QString DriveTree::key(const QTreeWidgetItem *node)
{
    return node ? node->data(0, KeyRole).toString() : QString();
}

bool DriveTree::isPlaceholder(const QTreeWidgetItem *node)
{
    return node && node->text(0).isEmpty() && key(node).isEmpty();
}

bool DriveTree::isChecked(const QTreeWidgetItem *node)
{
    return node && node->data(0, CheckedRole).toBool();
}

QTreeWidgetItem *DriveTree::addNode(QTreeWidgetItem *parent, const QString &k, const QString &text, int img)
{
    auto *node = new QTreeWidgetItem;
    node->setText(0, platform::displayName(text)); // the key keeps the exact name
    node->setData(0, KeyRole, k);
    node->setData(0, ImageRole, img);
    if (parent)
        parent->addChild(node);
    else
        addTopLevelItem(node);
    updateIcon(node);
    return node;
}

void DriveTree::addPlaceholder(QTreeWidgetItem *node)
{
    node->addChild(new QTreeWidgetItem);
}

void DriveTree::updateIcon(QTreeWidgetItem *node)
{
    if (!node || isPlaceholder(node))
        return;
    const int img = node->data(0, ImageRole).toInt();
    const int expandedImg = node->data(0, ExpandedImageRole).toInt();
    const int selectedImg = node->data(0, SelectedImageRole).toInt();
    const int shown = (node->isExpanded() && expandedImg) ? expandedImg : img;
    QIcon icon;
    icon.addPixmap(image(shown).pixmap(16, 16), QIcon::Normal);
    icon.addPixmap(image(selectedImg ? selectedImg : shown).pixmap(16, 16), QIcon::Selected);
    node->setIcon(0, icon);
}

void DriveTree::BuildDriveTree(const QList<platform::Volume> &volumes)
{
    clear();
    for (const platform::Volume &v : volumes) {
        QTreeWidgetItem *node = addNode(nullptr, v.rootPath, v.rootPath, imageForVolume(v.kind));
        addPlaceholder(node);
    }
    SetTreeBackColor();
}

void DriveTree::SetTreeBackColor()
{
    formlook::setRole(this, QPalette::Base, QColor(255, 255, 199));
    viewport()->update();
}

void DriveTree::expandNode(QTreeWidgetItem *node)
{
    if (!node)
        return;
    QStringList names;
    if (!listSubfolders(key(node), &names)) {
        // Not readable now (a volume not ready, a folder gone): stay collapsed with the
        // placeholder so that a later expansion tries again.
        if (node->childCount() > 0 && isPlaceholder(node->child(0)))
            collapseItem(node);
        return;
    }
    if (node->childCount() > 0 && isPlaceholder(node->child(0))) {
        delete node->takeChild(0);
        const QString parentKey = key(node);
        for (const QString &name : names) {
            const QString path = joinPath(parentKey, name);
            QTreeWidgetItem *child = addNode(node, path, name, FolderClosed);
            if (hasSubfolder(path)) {
                addPlaceholder(child);
                child->setData(0, ExpandedImageRole, int(FolderOpen));
                updateIcon(child);
            }
        }
    }
    if (node->childCount() > 0 && isPlaceholder(node->child(0)))
        collapseItem(node);
    updateIcon(node);
}

void DriveTree::nodeClick(QTreeWidgetItem *node)
{
    if (!node || isPlaceholder(node))
        return;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        QTreeWidgetItem *n = *it;
        if (n->data(0, CheckedRole).toBool() || n->data(0, Qt::FontRole).isValid()) {
            n->setData(0, CheckedRole, false);
            n->setData(0, Qt::FontRole, QVariant());   // back to the tree's own font
        }
    }
    QFont f = font();
    f.setBold(true);
    node->setFont(0, f);
    node->setData(0, CheckedRole, true);
    setToolTip(fullPath(node));

    if (TreeMouseButton != 2) {
        if (!platform::folderReadable(key(node)))
            return;
        if (node->parent()) {   // a folder node, not a volume
            node->setData(0, SelectedImageRole, int(FolderOpen));
            updateIcon(node);
        }
    }
}

QString DriveTree::fullPath(const QTreeWidgetItem *node)
{
    QStringList texts;
    for (const QTreeWidgetItem *n = node; n; n = n->parent())
        texts.prepend(n->text(0));
    QString path;
    for (const QString &t : texts)
        path = path.isEmpty() ? t : joinPath(path, t);
    return path;
}

QTreeWidgetItem *DriveTree::selectedNode() const
{
    const QList<QTreeWidgetItem *> sel = selectedItems();
    return sel.isEmpty() ? nullptr : sel.first();
}

QTreeWidgetItem *DriveTree::findNode(const QString &k) const
{
    for (QTreeWidgetItemIterator it(const_cast<DriveTree *>(this)); *it; ++it)
        if (key(*it) == k && !isPlaceholder(*it))
            return *it;
    return nullptr;
}

void DriveTree::mousePressEvent(QMouseEvent *e)
{
    switch (e->button()) {
    case Qt::LeftButton: TreeMouseButton = 1; break;
    case Qt::RightButton: TreeMouseButton = 2; break;
    case Qt::MiddleButton: TreeMouseButton = 4; break;
    default: break;
    }
    const QPoint pos = e->position().toPoint();
    QTreeWidgetItem *item = itemAt(pos);
    // A press on the expander is not a click on the node.
    pressed_ = (item && pos.x() >= visualItemRect(item).left()) ? item : nullptr;
    QTreeWidget::mousePressEvent(e);
}

void DriveTree::mouseReleaseEvent(QMouseEvent *e)
{
    QTreeWidget::mouseReleaseEvent(e);
    QTreeWidgetItem *item = itemAt(e->position().toPoint());
    if (item && item == pressed_)
        emit nodeClicked(item);
    pressed_ = nullptr;
}

bool DriveTree::viewportEvent(QEvent *e)
{
    return showViewToolTip(this, e) || QTreeWidget::viewportEvent(e);
}
