// The command line: the two forms it arrives in, their options, the help box and the two
// small path routines that the listing uses as well.
#include "app/CommandLine.h"
#include "app/BatchAnswers.h"
#include "app/CommandLinePieces.h"
#include "app/Startup.h"
#include "platform/Platform.h"

namespace {

// Blanks only, as the option grammar trims (tabs are part of a value).
QString trimBlanks(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && s.at(b) == QLatin1Char(' '))
        ++b;
    while (e > b && s.at(e - 1) == QLatin1Char(' '))
        --e;
    return s.mid(b, e - b);
}

QString optionName(const QString &upperPiece)
{
    return trimBlanks(upperPiece.left(2));
}

bool takesValue(const QString &name)
{
    return name == QLatin1String("MP") || name == QLatin1String("SP") || name == QLatin1String("NA");
}

CommandPiece makePiece(const QString &upper, const QString &raw)
{
    return CommandPiece{optionName(upper), upper, raw};
}

// The value of a value option: everything after the first blank of the trimmed piece, blanks
// included; no blank means no value.
// The long option of the word form, and the mark that keeps it apart from the pieces of the
// "/" options until they are made (no typed word begins with it).
bool isMaxDeleteWord(const QString &word)
{
    return word.startsWith(QLatin1String("--max-delete"));
}
const QChar kLongOptionMark(1);

// The bound of "--max-delete=N": N digits, nothing else.
bool maxDeleteValue(const QString &piece, QString *value)
{
    const QString prefix = QStringLiteral("--max-delete=");
    if (!piece.startsWith(prefix) || piece.size() == prefix.size() || piece.size() > prefix.size() + 12)
        return false;
    *value = piece.mid(prefix.size());
    for (QChar c : *value)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

bool valueOf(const QString &piece, QString *value)
{
    const QString t = trimBlanks(piece);
    const qsizetype blank = t.indexOf(QLatin1Char(' '));
    if (blank < 0)
        return false;
    *value = t.mid(blank + 1);
    return true;
}

void formatError(Context &ctx, const QString &logged)
{
    ctx.log.writeB(QStringLiteral(" There is a format error in the input command line.  Please revise and rerun."));
    ctx.log.writeB(QStringLiteral(" Command line with error: ") + logged);
    CloseMainWindow(ctx);
}

// Puts an existing folder into its box; false (after logging and telling the user) when the
// folder is not there. A folder typed relative to the current folder is made absolute first:
// the box and the stored settings must name the same folder from wherever the program starts.
bool takeFolder(Context &ctx, bool source, const QString &value, RunOptions &opts)
{
    const QString path = AddBackslash(platform::absoluteFolder(value));
    if (CheckFolderExists(path)) {
        ctx.ui->setText(source ? Ctl::txtSource : Ctl::txtTarget, path);
        opts.AutoRun = true;
        return true;
    }
    if (source) {
        ctx.log.writeB(QStringLiteral(" Source Path named on parm line not empty or found: ") + path);
        ctx.ui->ask(messageBox(QStringLiteral("Source Path named on parm line not found: ") + path, Buttons::Ok,
                               QStringLiteral("Quorvel Marnisyn")));
    } else {
        ctx.log.writeB(QStringLiteral(" Target Path named on parm line empty or not found: ") + path);
        ctx.ui->ask(messageBox(QStringLiteral("Target Path named on parm line not found: ") + path, Buttons::Ok,
                               QStringLiteral("Quorvel Marnisyn")));
    }
    return false;
}

// Applies the options of either form, in order, to `opts`. What the options before it set
// holds while each one is taken (a question it asks is answered with them).
bool applyOptions(Context &ctx, const CommandLineSplit &split, RunOptions &opts)
{
    if (!split.hasOption) {
        // Nothing left after the outer quotes came off: nothing to parse, start-up goes on.
        if (split.logged.isEmpty())
            return true;
        ShowCommandLineHelp(ctx);
        return false;
    }
    const QList<CommandOption> options = InterpretCommandLine(split);
    for (const CommandOption &o : options) {
        ctx.setOptions(opts);
        switch (o.kind) {
        case CommandOption::Help:
            ShowCommandLineHelp(ctx);
            return false;
        case CommandOption::FormatError:
            ctx.exitStatus = ExitStatus::CommandLine;
            formatError(ctx, split.logged);
            return false;
        case CommandOption::Source:
        case CommandOption::Target:
            if (!takeFolder(ctx, o.kind == CommandOption::Source, o.value, opts)) {
                ctx.exitStatus = ExitStatus::CommandLine;
                return false;
            }
            break;
        case CommandOption::Batch:
            opts.AutoRun = true;
            break;
        case CommandOption::MaxDelete:
            opts.MaxDelete = o.value.toLongLong();
            break;
        case CommandOption::CopyMissing:
            opts.SwitchCm = opts.AutoRun = true;
            break;
        case CommandOption::CopyNewer:
            opts.SwitchCn = opts.AutoRun = true;
            break;
        case CommandOption::CopyBack:
            opts.AutoRun = true;
            break;
        case CommandOption::DeleteOrphans:
            opts.SwitchDo = opts.AutoRun = true;
            break;
        case CommandOption::Synchronize:
            opts.SwitchCm = opts.SwitchCn = opts.SwitchDo = opts.AutoRun = true;
            break;
        case CommandOption::Name:
            ctx.ui->setText(Ctl::Form, RunNameCaption(o.value));
            break;
        }
    }
    return true;
}

bool applyCommandLine(Context &ctx, const CommandLineSplit &split)
{
    if (split.empty)
        return true;
    if (AsksForBatch(split))
        EnterBatchMode(ctx);
    ctx.log.writeB(QStringLiteral("  Parsing command line options: ") + split.logged);
    RunOptions opts = ctx.options();
    opts.AutoRun = opts.SwitchCm = opts.SwitchCn = opts.SwitchDo = false;
    ctx.setOptions(opts);
    const bool goOn = applyOptions(ctx, split, opts);
    ctx.setOptions(opts);
    return goOn;
}

} // namespace

CommandLineSplit SplitCommandText(const QString &commandLine)
{
    CommandLineSplit s;
    if (commandLine.isEmpty()) {
        s.empty = true;
        return s;
    }
    QString upper = commandLine.toUpper();
    if (upper.startsWith(QLatin1Char('"')))
        upper.remove(0, 1);
    if (upper.endsWith(QLatin1Char('"')))
        upper.chop(1);
    s.logged = upper;
    s.hasOption = upper.contains(QLatin1Char('/'));
    const QStringList up = upper.split(QLatin1Char('/'));
    const QStringList raw = commandLine.split(QLatin1Char('/'));
    for (qsizetype i = 1; i < up.size(); ++i)
        s.pieces.append(makePiece(up.at(i), raw.value(i)));
    return s;
}

CommandLineSplit SplitCommandWords(const QStringList &words)
{
    CommandLineSplit s;
    if (words.isEmpty()) {
        s.empty = true;
        return s;
    }
    s.logged = words.join(QLatin1Char(' '));
    s.valuesKeepCase = true;
    QStringList raw;          // one entry per piece after the first option word
    bool valueNext = false;   // the next word is the value of the option just started
    for (const QString &w : words) {
        if (!valueNext && isMaxDeleteWord(w)) {
            s.hasOption = true;
            raw.append(kLongOptionMark + w);
        } else if (valueNext) {
            raw.last() += QLatin1Char(' ') + w;
            valueNext = false;
        } else if (w.startsWith(QLatin1Char('/'))) {
            s.hasOption = true;
            // Switches joined in one word ("/sy/ba") are split at every "/" as in the text
            // form; from a value option on, the rest of the word is that option's (a path).
            QString rest = w.mid(1);
            for (;;) {
                const qsizetype slash = rest.indexOf(QLatin1Char('/'));
                const QString part = slash < 0 ? rest : rest.left(slash);
                if (slash < 0 || takesValue(optionName(part.toUpper()))) {
                    raw.append(rest);
                    break;
                }
                raw.append(part);
                rest = rest.mid(slash + 1);
            }
            const QString piece = trimBlanks(raw.last());
            valueNext = takesValue(optionName(piece.toUpper())) && !piece.contains(QLatin1Char(' '));
        } else if (!raw.isEmpty()) {
            raw.last() += QLatin1Char(' ') + w;
        }
        // Words before the first option are piece 0, which nothing reads.
    }
    for (const QString &r : raw)
        s.pieces.append(r.startsWith(kLongOptionMark) ? CommandPiece{kMaxDeletePiece, r.mid(1).toUpper(), r.mid(1)}
                                                      : makePiece(r.toUpper(), r));
    return s;
}

QList<CommandOption> InterpretCommandLine(const CommandLineSplit &split)
{
    QList<CommandOption> out;
    auto add = [&out](CommandOption::Kind k, const QString &v = QString()) {
        out.append(CommandOption{k, v});
        return k != CommandOption::Help && k != CommandOption::FormatError;
    };
    for (const CommandPiece &p : split.pieces) {
        const QString &n = p.name;
        QString value;
        bool goOn;
        if (n == QLatin1String("MP") || n == QLatin1String("SP")) {
            const CommandOption::Kind k = n == QLatin1String("MP") ? CommandOption::Source : CommandOption::Target;
            goOn = valueOf(split.valuesKeepCase ? p.raw : p.upper, &value) ? add(k, value) : add(CommandOption::FormatError);
        } else if (n == QLatin1String("NA")) {
            goOn = valueOf(p.raw, &value) ? add(CommandOption::Name, value) : add(CommandOption::FormatError);
        } else if (n == QLatin1String("?") || n == QLatin1String("H")) {
            goOn = add(CommandOption::Help);
        } else if (n == QLatin1String("CM")) {
            goOn = add(CommandOption::CopyMissing);
        } else if (n == QLatin1String("CN")) {
            goOn = add(CommandOption::CopyNewer);
        } else if (n == QLatin1String("CB")) {
            goOn = add(CommandOption::CopyBack);
        } else if (n == QLatin1String("DO")) {
            goOn = add(CommandOption::DeleteOrphans);
        } else if (n == QLatin1String("SY")) {
            goOn = add(CommandOption::Synchronize);
        } else if (n == QLatin1String("BA")) {
            goOn = add(CommandOption::Batch);
        } else if (n == kMaxDeletePiece) {
            goOn = maxDeleteValue(p.raw, &value) ? add(CommandOption::MaxDelete, value) : add(CommandOption::FormatError);
        } else {
            goOn = add(CommandOption::FormatError);
        }
        if (!goOn)
            break;
    }
    // An unattended run names both folders: one without them would list whatever the boxes
    // happen to hold.
    if (!out.isEmpty() && out.last().kind != CommandOption::Help && out.last().kind != CommandOption::FormatError) {
        qsizetype batchAt = -1;
        bool source = false, target = false;
        for (qsizetype i = 0; i < out.size(); ++i) {
            const CommandOption::Kind k = out.at(i).kind;
            if (k == CommandOption::Batch && batchAt < 0)
                batchAt = i;
            source = source || k == CommandOption::Source;
            target = target || k == CommandOption::Target;
        }
        if (batchAt >= 0 && !(source && target)) {
            out = out.mid(0, batchAt);
            out.append(CommandOption{CommandOption::FormatError, QString()});
        }
    }
    return out;
}

bool AsksForBatch(const CommandLineSplit &split)
{
    for (const CommandPiece &p : split.pieces)
        if (p.name == QLatin1String("BA"))
            return true;
    return false;
}

QString CommandLineHelpText()
{
    static const QStringList lines = {
        QStringLiteral("Parms:"),
        QStringLiteral("        /mp 'complete Source path'   -  Complete path to Source directory"),
        QStringLiteral("        /sp 'complete Target  path'  -  Complete path to Target directory"),
        QStringLiteral("        /cm(issing)                  -  Copy New files from Source to Target"),
        QStringLiteral("        /cn(ewer)                    -  Copy Changed Files in Source to Target"),
        QStringLiteral("        /cb(ack)                     -  Copy Back changed files in Target to Source"),
        QStringLiteral("        /do(rphans)                  -  Delete 'Orphan' files on Target"),
        QStringLiteral("        /na(me)                      -  Name the run in the form banner"),
        QStringLiteral("        /sy(ncronize)                -  Do: (1)Copy New Files in Source to Target,"),
        QStringLiteral("                                            (2)Copy Changed Files in Source to Target"),
        QStringLiteral("                                            (3)Delate Orphans Files on Target"),
        QStringLiteral("        /? or /h                     -  Display help window then exit."),
        QStringLiteral("        /ba(tch)                     -  Run unattended: no window waits, no question is shown,"),
        QStringLiteral("                                            each answer goes to the run log (needs /mp and /sp)"),
        QStringLiteral("        --max-delete=N               -  In a /ba run, delete up to N orphans, however many of the"),
        QStringLiteral("                                            target's items they are (never when one folder lies"),
        QStringLiteral("                                            inside the other, or the source listed nothing)"),
        QStringLiteral("        --help                       -  Print this help to the terminal, open no window"),
        QStringLiteral("        --version                    -  Print the version to the terminal, open no window"),
    };
    return lines.join(QStringLiteral("\r\n"));
}

QString RunNameCaption(const QString &name)
{
    return QStringLiteral("Marnisyn ") + name + QStringLiteral(" (Vers. ") + QString::number(AppVersionMajor)
        + QLatin1Char('.') + QString::number(AppVersionMinor) + QLatin1Char('.') + QString::number(AppVersionRevision)
        + QLatin1Char(')');
}

QString AddBackslash(const QString &path)
{
    const QChar sep = platform::separator();
    return path.endsWith(sep) ? path : path + sep;
}

bool CheckFolderExists(const QString &path)
{
    return platform::folderExists(path);
}

bool ParseCommandLine(Context &ctx, const QStringList &words)
{
    return applyCommandLine(ctx, SplitCommandWords(words));
}

bool ParseCommandLineText(Context &ctx, const QString &commandLine)
{
    return applyCommandLine(ctx, SplitCommandText(commandLine));
}

void ShowCommandLineHelp(Context &ctx)
{
    ctx.ui->ask(messageBox(CommandLineHelpText(), Buttons::Ok, QStringLiteral("Quorvel marnisyn")));
    // The program ends here, through the normal close.
    CloseMainWindow(ctx);
}
