// Placeholder until the size-difference dialog lands.
#include "ui/FormDiffSize.h"

Answer showFormDiffSize(QWidget *, const Question &)
{
    Answer a;
    a.button = Button::Cancel;
    return a;
}
