#pragma once
// The production answerer of the program's questions: message boxes, the folder browse
// dialog and the size-difference dialog, each modal over the main window.
#include "core/Questions.h"
#include <QPointer>
#include <QWidget>

class DialogAsker : public Asker {
public:
    explicit DialogAsker(QWidget *parent) : parent_(parent) {}
    Answer ask(const Question &q) override;

    static Answer askMessage(QWidget *parent, const Question &q);
    static Answer askFolder(QWidget *parent, const Question &q);

private:
    QPointer<QWidget> parent_;
};
