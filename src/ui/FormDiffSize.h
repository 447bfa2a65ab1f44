#pragma once
#include "app/Questions.h"
class QWidget;

// Shows the modal size-difference dialog for a QuestionKind::SizeDialog question and returns
// the button pressed with the two check boxes.
Answer showFormDiffSize(QWidget *parent, const Question &q);
