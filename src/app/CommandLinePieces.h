#pragma once
// The command line taken apart, without touching the window, the log or the disk.
//
// Two forms reach the program. The text form is one string (how Windows hands it over): it is
// split at every "/", so its values cannot hold a "/", and the folder values are taken from
// the upper-case copy. The word form is the argument list (how Linux hands it over): a word
// that begins with "/" starts an option, and the word after a value option is its value
// whatever it begins with, so absolute paths work and keep their case.
//
// Both forms give the same list of pieces, and one interpretation turns pieces into options.
// The word form also takes one long option anywhere: "--max-delete=N", a bound on the orphans
// a batch run may delete.
#include <QList>
#include <QString>
#include <QStringList>

struct CommandPiece {
    QString name;    // the first two characters of the upper-case piece, blanks trimmed
    QString upper;   // the upper-case piece
    QString raw;     // the piece as typed
};

struct CommandLineSplit {
    bool empty = false;          // nothing typed at all: nothing is parsed
    QString logged;              // the command line as the log records it
    bool hasOption = false;      // at least one option marker ("/")
    bool valuesKeepCase = false; // folder values come from the raw piece (word form)
    QList<CommandPiece> pieces;  // the pieces after the first option marker, in order
};

// Text form: upper-case copy with one leading and one trailing double quote removed (each only
// when present), raw copy unchanged, both split at every "/"; piece 0 is dropped.
CommandLineSplit SplitCommandText(const QString &commandLine);
// Word form: the words after the program name, as typed.
CommandLineSplit SplitCommandWords(const QStringList &words);

struct CommandOption {
    enum Kind { Help, Source, Target, CopyMissing, CopyNewer, CopyBack, DeleteOrphans, Synchronize, Name, Batch, MaxDelete, FormatError };
    Kind kind = FormatError;
    // Source/Target: the folder as typed (without the added separator); Name: the run name;
    // MaxDelete: the bound's digits.
    QString value;
};
// The piece name of "--max-delete=N" (its own, since it is no two-letter option).
inline const QString kMaxDeletePiece = QStringLiteral("--MAX-DELETE");

// The options in order. Interpretation stops after the first Help or FormatError (the program
// ends there); whether a folder exists is not looked at here. /ba needs both /mp and /sp: without
// them the /ba is a format error.
QList<CommandOption> InterpretCommandLine(const CommandLineSplit &split);
// True when one of the pieces is /ba, wherever it stands (also after a piece that is a format
// error): the whole run, its format error included, is then unattended.
bool AsksForBatch(const CommandLineSplit &split);

// The twelve lines of the help box, joined by CR LF.
QString CommandLineHelpText();
// "Marnisyn " + name + " (Vers. 14.8.15)".
QString RunNameCaption(const QString &name);
