#include "app/BatchAnswers.h"
#include "core/Context.h"

namespace {

Button firstButton(Buttons b)
{
    switch (b) {
    case Buttons::Ok:
    case Buttons::OkCancel: return Button::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel: return Button::Yes;
    }
    return Button::Ok;
}

} // namespace

QString BatchAnswerer::oneLine(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

Answer BatchAnswerer::decide(const Question &q, bool deletionAsked)
{
    Answer a;
    switch (q.kind) {
    case QuestionKind::SizeDialog:
        // The dialog as it opens: only the files larger on the source are ticked.
        a.button = Button::Ok;
        a.check1 = true;
        a.check2 = false;
        return a;
    case QuestionKind::FolderDialog:
        a.button = Button::Cancel;
        return a;
    case QuestionKind::Message:
        break;
    }
    switch (q.decides) {
    case Decides::OrphanDeletion: a.button = deletionAsked ? Button::Yes : Button::No; break;
    case Decides::SaveSettings: a.button = Button::No; break;
    case Decides::Nothing: a.button = firstButton(q.buttons); break;
    }
    return a;
}

QString BatchAnswerer::caption(const Question &q, const Answer &a)
{
    switch (a.button) {
    case Button::Ok: return q.kind == QuestionKind::SizeDialog ? QStringLiteral("Ok") : QStringLiteral("OK");
    case Button::Yes: return QStringLiteral("Yes");
    case Button::No: return QStringLiteral("No");
    case Button::Cancel: return QStringLiteral("Cancel");
    case Button::Closed: break;
    }
    return QStringLiteral("Closed");
}

Answer BatchAnswerer::ask(const Question &q)
{
    const QString text = q.text.isEmpty() ? q.title : q.text;
    ctx_.log.writeDated(QStringLiteral(" Message: ") + oneLine(text));
    const Answer a = decide(q, ctx_.options().SwitchDo);
    ctx_.log.writeDated(QStringLiteral(" Answered: ") + caption(q, a));
    return a;
}

void EnterBatchMode(Context &ctx)
{
    RunOptions opts = ctx.options();
    opts.SwitchBa = true;
    ctx.setOptions(opts);
    if (!ctx.batchAnswerer)
        ctx.batchAnswerer = std::make_unique<BatchAnswerer>(ctx);
    ctx.ui->setAnswerer(ctx.batchAnswerer.get());
}
