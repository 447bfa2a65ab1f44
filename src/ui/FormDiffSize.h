#pragma once
// The small modal dialog that asks which of the files of different length are copied from the
// source to the target: those larger on the source, those smaller on the source, or both.
#include "core/Questions.h"
#include <QDialog>
#include <functional>

class QCheckBox;
class QPushButton;

class FormDiffSize : public QDialog {
    Q_OBJECT
public:
    explicit FormDiffSize(QWidget *parent = nullptr);

    QCheckBox *chkSyncSmaller;   // on top, first in the tab order, not ticked at first
    QCheckBox *chkSyncLarger;    // ticked at first
    QPushButton *cmdOK;          // default button
    QPushButton *cmdCancel;      // the cancel button (also Escape)

    // The button that closed the dialog (Closed when it was closed otherwise) and the boxes
    // as they were then.
    Answer answer() const { return answer_; }

    // Shows the hint for OK without a ticked box. A real message box unless a test replaces it.
    std::function<void(const Question &)> showHint;

    // The hint's question.
    static Question hintQuestion();

protected:
    void keyPressEvent(QKeyEvent *e) override;   // Escape presses cmdCancel

private:
    void okClicked();
    void cancelClicked();
    Answer answer_;
};

// Shows the modal size-difference dialog for a QuestionKind::SizeDialog question and returns
// the button pressed: Ok with check1 = "larger on the source" box (chkSyncLarger) and check2 =
// "smaller on the source" box (chkSyncSmaller), Cancel, or Closed (title-bar close).
Answer showFormDiffSize(QWidget *parent, const Question &q);
