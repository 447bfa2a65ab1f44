#include "ScriptedAsker.h"
#include <QTest>

Button defaultButton(Buttons b)
{
    switch (b) {
    case Buttons::Ok: case Buttons::OkCancel: return Button::Ok;
    case Buttons::YesNo: case Buttons::YesNoCancel: return Button::Yes;
    }
    return Button::Ok;
}

ScriptedAsker &ScriptedAsker::expect(Button b, const QString &contains)
{
    Answer a;
    a.button = b;
    script_.push_back({a, contains});
    return *this;
}

ScriptedAsker &ScriptedAsker::expectAnswer(const Answer &a, const QString &contains)
{
    script_.push_back({a, contains});
    return *this;
}

Answer ScriptedAsker::ask(const Question &q)
{
    asked.append(q);
    if (onAsk)
        onAsk(q);
    if (script_.empty()) {
        if (!defaults_)
            QTest::qFail(qPrintable(QStringLiteral("unexpected question: [%1] %2").arg(q.title, q.text)), __FILE__, __LINE__);
        Answer a;
        a.button = defaults_ ? defaultButton(q.buttons) : Button::Closed;
        return a;
    }
    Step s = script_.front();
    script_.pop_front();
    if (!s.contains.isEmpty() && !q.text.contains(s.contains) && !q.title.contains(s.contains))
        QTest::qFail(qPrintable(QStringLiteral("question \"%1\" does not contain \"%2\"").arg(q.text, s.contains)), __FILE__, __LINE__);
    return s.answer;
}
