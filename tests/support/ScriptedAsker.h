#pragma once
// Answers the program's questions from a script and records every question asked. A question
// that the script did not expect fails the test (QTest::qFail) and is answered with its last
// button, so no test ever waits on a dialog.
#include "core/Questions.h"
#include <QList>
#include <deque>
#include <functional>

class ScriptedAsker : public Asker {
public:
    // Queue an answer; `expectTextContains` (when not empty) must be part of the question's text.
    ScriptedAsker &expect(Button b, const QString &expectTextContains = QString());
    ScriptedAsker &expectAnswer(const Answer &a, const QString &expectTextContains = QString());
    // Answer anything with the question's default (first) button, still recording it.
    void answerDefaults(bool on) { defaults_ = on; }

    Answer ask(const Question &q) override;

    QList<Question> asked;     // every question, in order
    int pending() const { return int(script_.size()); }
    // Runs inside ask() before the answer is returned (e.g. to act as the user meanwhile).
    std::function<void(const Question &)> onAsk;

private:
    struct Step { Answer answer; QString contains; };
    std::deque<Step> script_;
    bool defaults_ = false;
};

Button defaultButton(Buttons b);
