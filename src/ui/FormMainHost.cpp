// The main window as the engine sees it: every control looked up by its name and index, and
// the generic setters and getters of UiHost on top of that map.
#include "ui/formmain.h"
#include "platform/Platform.h"
#include "ui/DialogAsker.h"
#include "ui/DriveTree.h"
#include "ui/FormMainLook.h"
#include "ui/ResultListModel.h"
#include "ui/Widgets.h"
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QProgressBar>
#include <QStyle>
#include <QUrl>

using namespace formlook;

QWidget *formmain::control(Ctl c, int index) const
{
    if (c == Ctl::Form)
        return const_cast<formmain *>(this);
    return controls_.value(key(c, index)).widget;
}

QAction *formmain::menuItem(Ctl c, int index) const
{
    return controls_.value(key(c, index)).action;
}

ResultListView *formmain::listView(Ctl list) const
{
    const int i = layout::resultListIndex(list);
    return i < 0 ? nullptr : lists_[i];
}

ResultListModel *formmain::listModel(Ctl list) const
{
    const int i = layout::resultListIndex(list);
    return i < 0 ? nullptr : models_[i];
}

void formmain::setText(Ctl c, const QString &t, int index)
{
    if (c == Ctl::Form) {
        setWindowTitle(t);
        return;
    }
    if (QAction *a = menuItem(c, index)) {
        a->setText(t);
        return;
    }
    QWidget *w = control(c, index);
    // Buttons and labels show a name with bytes that are not UTF-8 with U+FFFD in their place;
    // the folder boxes keep the exact text the engine works with.
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->setText(platform::displayName(t));
    else if (auto *cl = qobject_cast<ClickLabel *>(w))
        cl->showText(platform::displayName(t));
    else if (auto *l = qobject_cast<QLabel *>(w))
        l->setText(platform::displayName(t));
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(t);
    else if (auto *cb = qobject_cast<QComboBox *>(w))
        cb->setEditText(t);
}

QString formmain::text(Ctl c, int index) const
{
    if (c == Ctl::Form)
        return windowTitle();
    if (QAction *a = menuItem(c, index))
        return a->text();
    QWidget *w = control(c, index);
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *cb = qobject_cast<QComboBox *>(w))
        return cb->currentText();
    return QString();
}

void formmain::setToolTip(Ctl c, const QString &tip, int index)
{
    if (QAction *a = menuItem(c, index))
        a->setToolTip(platform::displayName(tip));
    else if (QWidget *w = control(c, index))
        w->setToolTip(platform::displayName(tip));
}

QString formmain::toolTip(Ctl c, int index) const
{
    if (QAction *a = menuItem(c, index))
        return a->toolTip();
    if (QWidget *w = control(c, index))
        return w->toolTip();
    return QString();
}

void formmain::setEnabled(Ctl c, bool on, int index)
{
    if (QAction *a = menuItem(c, index))
        a->setEnabled(on);
    else if (QWidget *w = control(c, index))
        w->setEnabled(on);
}

bool formmain::isEnabled(Ctl c, int index) const
{
    if (QAction *a = menuItem(c, index))
        return a->isEnabled();
    if (QWidget *w = control(c, index))
        return w->isEnabled();
    return false;
}

void formmain::setVisible(Ctl c, bool on, int index)
{
    if (c == Ctl::Form) {
        QMainWindow::setVisible(on);
        return;
    }
    if (QAction *a = menuItem(c, index)) {
        a->setVisible(on);
        return;
    }
    QWidget *w = control(c, index);
    if (!w)
        return;
    w->setVisible(on);
    // The lists share one rectangle: the one shown last lies on top. The progress bar lies
    // over the choice box.
    if (on && (layout::resultListIndex(c) >= 0 || c == Ctl::pball))
        w->raise();
}

bool formmain::isVisible(Ctl c, int index) const
{
    if (c == Ctl::Form)
        return QMainWindow::isVisible();
    if (QAction *a = menuItem(c, index))
        return a->isVisible();
    if (QWidget *w = control(c, index))
        return !w->isHidden();
    return false;
}

void formmain::setValue(Ctl c, int v, int index)
{
    if (QAction *a = menuItem(c, index)) {
        if (a->isCheckable())
            a->setChecked(v != 0);
        return;
    }
    switch (c) {
    case Ctl::chkSkipOrphanCk:
        static_cast<QCheckBox *>(control(c))->setChecked(v != 0);
        break;
    case Ctl::pball:
        pball_->setValue(qBound(pball_->minimum(), v, pball_->maximum()));
        break;
    case Ctl::cboChoices:
        if (v < -1 || v >= cboChoices_->count())
            return;
        cboChoices_->setCurrentIndex(v);
        // Every selection raises the selection-change handler, the same index included.
        cboChoices_Click();
        break;
    default:
        break;
    }
}

int formmain::value(Ctl c, int index) const
{
    if (QAction *a = menuItem(c, index))
        return a->isChecked() ? 1 : 0;
    switch (c) {
    case Ctl::chkSkipOrphanCk: return static_cast<QCheckBox *>(control(c))->isChecked() ? 1 : 0;
    case Ctl::pball: return qMax(pball_->minimum(), pball_->value());
    case Ctl::cboChoices: return cboChoices_->currentIndex();
    default: return 0;
    }
}

void formmain::setMaximum(Ctl c, int m)
{
    if (c != Ctl::pball)
        return;
    // A maximum not above the minimum would turn the bar into a busy indicator that never
    // shows progress: the bar keeps its last maximum then.
    if (m <= pball_->minimum())
        return;
    const int v = value(Ctl::pball);
    pball_->setMaximum(m);
    pball_->setValue(qBound(pball_->minimum(), v, pball_->maximum()));
}

int formmain::maximum(Ctl c) const
{
    return c == Ctl::pball ? pball_->maximum() : 0;
}

void formmain::setItems(Ctl c, const QStringList &items)
{
    if (c != Ctl::cboChoices)
        return;
    // Filling the list neither selects an entry nor changes the box's text.
    const QSignalBlocker block(cboChoices_);
    const QString shown = cboChoices_->currentText();
    cboChoices_->clear();
    cboChoices_->addItems(items);
    cboChoices_->setCurrentIndex(-1);
    cboChoices_->setEditText(shown);
    // The open list is wide enough for its longest choice.
    QAbstractItemView *v = cboChoices_->view();
    v->setMinimumWidth(v->sizeHintForColumn(0) + 2 * v->frameWidth() + v->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

void formmain::addRows(Ctl list, const QList<QStringList> &rows)
{
    if (ResultListModel *m = listModel(list))
        m->appendRows(rows);
}

void formmain::addRowRefs(Ctl list, const RowSource &source, const std::vector<qint32> &keys)
{
    if (ResultListModel *m = listModel(list))
        m->appendRefs(source, keys);
}

void formmain::clearRows(Ctl list)
{
    if (ResultListModel *m = listModel(list)) {
        m->clear();
        listView(list)->header()->setSortIndicatorShown(false);
    }
}

int formmain::rowCount(Ctl list) const
{
    const ResultListModel *m = listModel(list);
    return m ? m->size() : 0;
}

QStringList formmain::row(Ctl list, int i) const
{
    const ResultListModel *m = listModel(list);
    return m ? m->rowAt(i) : QStringList();
}

void formmain::moveToLeftOf(Ctl c, Ctl anchor, int anchorIndex)
{
    QRect r = controlTwips(c);
    r.moveLeft(controlTwips(anchor, anchorIndex).left());
    placeControl(c, 0, r);
}

void formmain::setBackColor(Ctl c, quint32 rgb)
{
    QWidget *w = control(c);
    if (!w || c == Ctl::Form)
        return;
    const QColor colour(QRgb(rgb & 0xFFFFFF));
    if (qobject_cast<QAbstractItemView *>(w) || qobject_cast<QLineEdit *>(w))
        setRole(w, QPalette::Base, colour);
    else if (qobject_cast<QPushButton *>(w))
        setRole(w, QPalette::Button, colour);
    else {
        w->setAutoFillBackground(true);
        setRole(w, QPalette::Window, colour);
    }
}

void formmain::showWindow()
{
    show();
    raise();
    activateWindow();
}

void formmain::closeWindow()
{
    if (closed_)
        return;
    programClose_ = true;
    close();
}

void formmain::pumpEvents()
{
    QCoreApplication::processEvents();
}

void formmain::beep()
{
    QApplication::beep();
}

void formmain::setAsker(Asker *asker)
{
    asker_ = asker;
}

Answer formmain::showQuestion(const Question &q)
{
    ++askDepth_;
    const Answer a = asker_ ? asker_->ask(q) : dialogs_->ask(q);
    --askDepth_;
    return a;
}

void formmain::setDesktopOpener(std::function<bool(const QString &)> opener)
{
    opener_ = std::move(opener);
}

bool formmain::openWithDesktop(const QString &path)
{
    if (opener_)
        return opener_(path);
    // Percent-encoded from the exact bytes: a name that is not UTF-8 opens as itself.
    return QDesktopServices::openUrl(QUrl::fromEncoded("file://" + platform::encodeName(path).toPercentEncoding("/")));
}

void formmain::prepareInteractive()
{
    if (!txtSource_->text().isEmpty())
        txtSource_->setSelection(0, int(txtSource_->text().size()));
    BuildDriveTree();
}
