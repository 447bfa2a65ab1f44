#include "core/Questions.h"

Question messageBox(const QString &text, Buttons buttons, const QString &title, Icon icon)
{
    Question q;
    q.kind = QuestionKind::Message;
    q.text = text;
    q.buttons = buttons;
    q.title = title;
    q.icon = icon;
    return q;
}
