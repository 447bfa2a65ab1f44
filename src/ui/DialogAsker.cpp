#include "ui/DialogAsker.h"
#include "ui/FormDiffSize.h"
#include <QAbstractButton>
#include "platform/Platform.h"
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QUrl>

namespace {

// Notices a message box being closed without one of its buttons (Escape, the close box).
class CloseWatcher : public QObject {
public:
    bool closed = false;
protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Close)
            closed = true;
        else if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Escape)
            closed = true;
        return QObject::eventFilter(o, e);
    }
};

bool isUnder(const QString &path, const QString &root)
{
    const QString p = QDir::cleanPath(path), r = QDir::cleanPath(root);
    if (r == QLatin1String("/"))
        return p.startsWith(QLatin1Char('/'));
    return p == r || p.startsWith(r + QLatin1Char('/'));
}

} // namespace

Answer DialogAsker::ask(const Question &q)
{
    switch (q.kind) {
    case QuestionKind::Message: return askMessage(parent_, q);
    case QuestionKind::FolderDialog: return askFolder(parent_, q);
    case QuestionKind::SizeDialog: return showFormDiffSize(parent_, q);
    }
    return Answer{};
}

Answer DialogAsker::askMessage(QWidget *parent, const Question &q)
{
    QMessageBox box(parent);
    box.setWindowTitle(q.title.isEmpty() ? QStringLiteral("QuorvelMarnisyn") : q.title);
    box.setTextFormat(Qt::PlainText);
    box.setText(platform::displayName(q.text));
    switch (q.icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Question: box.setIcon(QMessageBox::Question); break;
    case Icon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
    }
    QList<QPair<QMessageBox::StandardButton, Button>> buttons;
    switch (q.buttons) {
    case Buttons::Ok: buttons = {{QMessageBox::Ok, Button::Ok}}; break;
    case Buttons::YesNo: buttons = {{QMessageBox::Yes, Button::Yes}, {QMessageBox::No, Button::No}}; break;
    case Buttons::YesNoCancel:
        buttons = {{QMessageBox::Yes, Button::Yes}, {QMessageBox::No, Button::No}, {QMessageBox::Cancel, Button::Cancel}};
        break;
    case Buttons::OkCancel: buttons = {{QMessageBox::Ok, Button::Ok}, {QMessageBox::Cancel, Button::Cancel}}; break;
    }
    QMessageBox::StandardButtons all;
    for (const auto &b : buttons)
        all |= b.first;
    box.setStandardButtons(all);
    box.setDefaultButton(buttons.first().first);   // the first button is the default
    bool hasCancel = false;
    for (const auto &b : buttons)
        hasCancel = hasCancel || b.second == Button::Cancel;

    CloseWatcher watcher;
    box.installEventFilter(&watcher);
    box.exec();

    // Closed without a button (Escape, the close box): Cancel where the box offers it.
    Answer a;
    a.button = hasCancel ? Button::Cancel : Button::Closed;
    if (watcher.closed)
        return a;
    if (QAbstractButton *clicked = box.clickedButton()) {
        const QMessageBox::StandardButton sb = box.standardButton(clicked);
        for (const auto &b : buttons)
            if (b.first == sb)
                a.button = b.second;
    }
    return a;
}

Answer DialogAsker::askFolder(QWidget *parent, const Question &q)
{
    QString title = q.text.isEmpty() ? q.title : q.text;
    title.replace(QLatin1Char('\n'), QLatin1Char(' '));
    title = title.simplified();
    QString start = q.initialPath;
    if (start.isEmpty() || !QDir(start).exists())
        start = QDir::homePath();

    QFileDialog dlg(parent, title, start);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly, true);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    if (q.rootedAtInitial && QDir(q.initialPath).exists()) {
        const QString root = QDir(q.initialPath).absolutePath();
        dlg.setSidebarUrls({QUrl::fromLocalFile(root)});
        QObject::connect(&dlg, &QFileDialog::directoryEntered, &dlg, [&dlg, root](const QString &dir) {
            if (!isUnder(dir, root))
                dlg.setDirectory(root);
        });
    }
    Answer a;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) {
        a.button = Button::Cancel;
        return a;
    }
    a.button = Button::Ok;
    a.path = dlg.selectedFiles().first();
    if (q.rootedAtInitial && QDir(q.initialPath).exists() && !isUnder(a.path, QDir(q.initialPath).absolutePath())) {
        a.button = Button::Cancel;
        a.path.clear();
    }
    return a;
}
