#pragma once
// TreeView1: the drive and folder tree of the main window. One top-level node per volume a
// user would browse, folders read lazily as nodes are expanded (a node with unread children
// carries one empty placeholder child), the node last clicked marked bold and checked.
#include "platform/Platform.h"
#include <QIcon>
#include <QList>
#include <QTreeWidget>

class DriveTree : public QTreeWidget {
    Q_OBJECT
public:
    // Positions in the image list (1-based, as the node images are numbered).
    enum Image {
        CDROM = 1, File, ControlPanel, Desktop, Floppy, HardDrive, MyComputer, MyDocuments,
        Netwerk, RecycleBin, FolderClosed, FolderOpen
    };
    // Per-node data kept on column 0.
    enum Role {
        KeyRole = Qt::UserRole + 1, ImageRole, ExpandedImageRole, SelectedImageRole, CheckedRole
    };

    explicit DriveTree(QWidget *parent = nullptr);

    // ImageList1: twelve 16 by 16 images and their keys, in order.
    static const QStringList &imageKeys();
    QIcon image(int position) const;

    // Removes every node and adds one node per volume, each with a placeholder child; then
    // gives the tree its background colour.
    void BuildDriveTree(const QList<platform::Volume> &volumes);
    void SetTreeBackColor();
    static int imageForVolume(platform::VolumeKind kind);

    // Reads the subfolders of a node that still has its placeholder (what expanding does).
    void expandNode(QTreeWidgetItem *node);
    // What a click on a node does (uses TreeMouseButton).
    void nodeClick(QTreeWidgetItem *node);

    // The node's path: the texts from its volume down to it, joined with one separator.
    static QString fullPath(const QTreeWidgetItem *node);
    static QString key(const QTreeWidgetItem *node);
    static bool isPlaceholder(const QTreeWidgetItem *node);
    static bool isChecked(const QTreeWidgetItem *node);
    QTreeWidgetItem *selectedNode() const;
    QTreeWidgetItem *findNode(const QString &key) const;

    // The mouse button of the last press on the tree: 1 left, 2 right, 4 middle.
    int TreeMouseButton = 0;

signals:
    void nodeClicked(QTreeWidgetItem *node);

protected:
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    bool viewportEvent(QEvent *e) override;

private:
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, const QString &key, const QString &text, int image);
    void addPlaceholder(QTreeWidgetItem *node);
    void updateIcon(QTreeWidgetItem *node);
    QList<QIcon> images_;
    QTreeWidgetItem *pressed_ = nullptr;
};
