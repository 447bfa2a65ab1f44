#pragma once
// The answers of an unattended run (/ba). No question is shown: each is written to the run
// log (" Message: " and its text on one line), answered by the policy below, and the answer is
// logged as well (" Answered: " and the button's caption).
//
// The policy: the first (default) button of every question, except
//  - the orphan-deletion question: No, unless /do or /sy asked for the deletion;
//  - the save-settings question: No (a batch run leaves the stored settings as they are).
// The size dialog is answered with its designed state (OK, only the larger files); a folder
// browse dialog is cancelled.
#include "core/Questions.h"

struct Context;

class BatchAnswerer : public Asker {
public:
    explicit BatchAnswerer(Context &ctx) : ctx_(ctx) {}
    Answer ask(const Question &q) override;

    // The answer the policy gives, without logging anything.
    static Answer decide(const Question &q, bool deletionAsked);
    // The caption of the button an answer stands for ("OK", "Yes", "No", "Cancel").
    static QString caption(const Question &q, const Answer &a);
    // The question's text on one line: every line break becomes a blank.
    static QString oneLine(const QString &text);

private:
    Context &ctx_;
};

// Puts the context into batch mode: SwitchBa is set and every question from now on goes to a
// BatchAnswerer the context owns.
void EnterBatchMode(Context &ctx);
