#include "ui/FormDiffSize.h"
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

FormDiffSize::FormDiffSize(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormDiffSize"));
    setWindowTitle(QStringLiteral("Select Size(s) to Copy"));
    setModal(true);

    chkSyncSmaller = new QCheckBox(QStringLiteral("Copy Smaller file from Source to Target"), this);
    chkSyncSmaller->setObjectName(QStringLiteral("chkSyncSmaller"));
    chkSyncSmaller->setChecked(false);
    chkSyncLarger = new QCheckBox(QStringLiteral("Copy  Larg File from Source to Target"), this);
    chkSyncLarger->setObjectName(QStringLiteral("chkSyncLarger"));
    chkSyncLarger->setChecked(true);

    cmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(chkSyncSmaller);
    layout->addWidget(chkSyncLarger);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(chkSyncSmaller, chkSyncLarger);
    setTabOrder(chkSyncLarger, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    chkSyncSmaller->setFocus();

    answer_.button = Button::Closed;
    showHint = [this](const Question &q) {
        QMessageBox box(QMessageBox::NoIcon, q.title, q.text, QMessageBox::Ok, this);
        box.exec();
    };
    connect(cmdOK, &QPushButton::clicked, this, &FormDiffSize::okClicked);
    connect(cmdCancel, &QPushButton::clicked, this, &FormDiffSize::cancelClicked);
}

Question FormDiffSize::hintQuestion()
{
    return messageBox(QStringLiteral("Select one or both checkboxes then click Do It to continue, else click Cancel"),
                      Buttons::Ok, QStringLiteral("Quorvel Marnisyn"));
}

void FormDiffSize::okClicked()
{
    if (!chkSyncSmaller->isChecked() && !chkSyncLarger->isChecked()) {
        // The dialog stays open for another choice.
        if (showHint)
            showHint(hintQuestion());
        return;
    }
    answer_.button = Button::Ok;
    answer_.check1 = chkSyncLarger->isChecked();
    answer_.check2 = chkSyncSmaller->isChecked();
    accept();
}

void FormDiffSize::cancelClicked()
{
    answer_.button = Button::Cancel;
    answer_.check1 = chkSyncLarger->isChecked();
    answer_.check2 = chkSyncSmaller->isChecked();
    reject();
}

void FormDiffSize::keyPressEvent(QKeyEvent *e)
{
    if (e->key() == Qt::Key_Escape && e->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(e);
}

Answer showFormDiffSize(QWidget *parent, const Question &q)
{
    // Every showing starts from the dialog's designed state.
    FormDiffSize dialog(parent);
    if (!q.title.isEmpty())
        dialog.setWindowTitle(q.title);
    dialog.exec();
    return dialog.answer();
}
