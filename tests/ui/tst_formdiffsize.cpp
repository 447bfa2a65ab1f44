// The size-difference dialog as a widget: captions, initial state, tab order, and what each
// button (and closing) answers; OK without a ticked box shows the hint and stays open.
#include "ui/FormDiffSize.h"
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestFormDiffSize : public QObject {
    Q_OBJECT
private slots:
    void designedState()
    {
        FormDiffSize d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Select Size(s) to Copy"));
        QCOMPARE(d.chkSyncLarger->text(), QStringLiteral("Copy  Larg File from Source to Target"));
        QCOMPARE(d.chkSyncSmaller->text(), QStringLiteral("Copy Smaller file from Source to Target"));
        QVERIFY(d.chkSyncLarger->isChecked());
        QVERIFY(!d.chkSyncSmaller->isChecked());
        QCOMPARE(d.cmdOK->text(), QStringLiteral("&Ok"));
        QCOMPARE(d.cmdCancel->text(), QStringLiteral("&Cancel"));
        QVERIFY(d.cmdOK->isDefault());
        QVERIFY(d.isModal());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        // The smaller-file box lies above the larger-file box and comes first in the tab order.
        QVERIFY(d.chkSyncSmaller->geometry().top() < d.chkSyncLarger->geometry().top());
        QCOMPARE(d.chkSyncSmaller->nextInFocusChain(), static_cast<QWidget *>(d.chkSyncLarger));
        QCOMPARE(d.answer().button, Button::Closed);
    }

    void okWithBoxes()
    {
        FormDiffSize d;
        d.show();
        d.chkSyncSmaller->setChecked(true);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
        QVERIFY(!d.isVisible());
        QCOMPARE(d.answer().button, Button::Ok);
        QVERIFY(d.answer().check1); // larger
        QVERIFY(d.answer().check2); // smaller
    }

    void okWithoutABoxShowsTheHintAndStays()
    {
        FormDiffSize d;
        QList<Question> hints;
        d.showHint = [&](const Question &q) { hints << q; };
        d.show();
        d.chkSyncLarger->setChecked(false);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
        QCOMPARE(hints.size(), 1);
        QCOMPARE(hints[0].text, QStringLiteral("Select one or both checkboxes then click Do It to continue, else click Cancel"));
        QCOMPARE(hints[0].title, QStringLiteral("Quorvel Marnisyn"));
        QCOMPARE(hints[0].buttons, Buttons::Ok);
        QVERIFY(d.isVisible());
        QCOMPARE(d.answer().button, Button::Closed);
        // Then a box and OK: the dialog closes with that answer.
        d.chkSyncLarger->setChecked(true);
        QTest::mouseClick(d.cmdOK, Qt::LeftButton);
        QVERIFY(!d.isVisible());
        QCOMPARE(d.answer().button, Button::Ok);
        QVERIFY(d.answer().check1);
        QVERIFY(!d.answer().check2);
    }

    void cancelEscapeAndClose()
    {
        {
            FormDiffSize d;
            d.show();
            QTest::mouseClick(d.cmdCancel, Qt::LeftButton);
            QVERIFY(!d.isVisible());
            QCOMPARE(d.answer().button, Button::Cancel);
        }
        {
            FormDiffSize d;
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
            QCOMPARE(d.answer().button, Button::Cancel);
        }
        {
            FormDiffSize d;
            d.show();
            d.close();
            QCOMPARE(d.answer().button, Button::Closed);
        }
    }

    void shownModallyThroughTheQuestion()
    {
        // Each showing starts from the designed state, whatever the last one ended with.
        // The dialog is answered from a timer; what it showed is checked after it returned, as
        // a failed check inside the timer would leave the dialog open for good.
        for (int round = 0; round < 2; ++round) {
            bool modal = false, larger = false, smaller = true;
            QTimer answer;
            answer.setInterval(10);
            QObject::connect(&answer, &QTimer::timeout, [&] {
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (auto *d = qobject_cast<FormDiffSize *>(w); d && d->isVisible()) {
                        answer.stop();
                        modal = d->isModal();
                        larger = d->chkSyncLarger->isChecked();
                        smaller = d->chkSyncSmaller->isChecked();
                        d->chkSyncSmaller->setChecked(true);
                        d->chkSyncLarger->setChecked(false);
                        d->cmdOK->click();
                        return;
                    }
            });
            answer.start();
            Question q;
            q.kind = QuestionKind::SizeDialog;
            q.title = QStringLiteral("Select Size(s) to Copy");
            const Answer a = showFormDiffSize(nullptr, q);
            QVERIFY(modal && larger && !smaller);
            QCOMPARE(a.button, Button::Ok);
            QVERIFY(!a.check1);
            QVERIFY(a.check2);
        }
    }
};

QTEST_MAIN(TestFormDiffSize)
#include "tst_formdiffsize.moc"
