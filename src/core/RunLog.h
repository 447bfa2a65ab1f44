#pragma once
// The run log: one plain-text file, appended to, CR LF line ends, flushed after every line.
// Nothing about the log may end a listing, a run or the program: a log that cannot be opened
// or written is silently skipped.
#include "platform/FileSystem.h"
#include <QString>

class RunLog {
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;

    // "LogQuorvelMarnisyn.txt" in the executable's folder; when that folder is not writable,
    // the per-user data folder.
    static QString defaultPath(const QString &exeDir);
    static QString fileName();

    // Opens (creating when missing, never truncating) and writes the start line
    // "--- " + date + "  " + baseName + " ---Loads--". Tries each path in turn.
    bool open(const QStringList &candidates, const QString &baseName);
    bool open(const QString &path, const QString &baseName);
    void close();
    bool isOpen() const { return file_.valid(); }
    QString path() const { return path_; }

    // Form A: the text, then the line end.
    void writeA(const QString &text);
    // Form B: the current date and time directly followed by the text.
    void writeB(const QString &text);
    // Form A with the current date in front: the common "date + message" line.
    void writeDated(const QString &message) { writeB(message); }
    // Form C: first value, blanks up to the next print zone (14 columns), second value.
    void writeC(const QString &first, const QString &second);

    // The form C text without writing it (zones counted from the last line break of `first`).
    static QString formC(const QString &first, const QString &second);

    // A record of several lines, as form C: each line escaped, the program's own breaks
    // between them, the last line followed by `second` at the next print zone.
    void writeRecordC(const QStringList &lines, const QString &second);

    // The text as the log writes it: no name or message can break a line or forge one. Each
    // C0 control character and DEL becomes an escape: line feed "\n", carriage return "\r",
    // tab "\t", any other "\x" and two lowercase hex digits ("\x1b"); NEL, the line and the
    // paragraph separator become "\u0085", "\u2028", "\u2029". A backslash stays as it is.
    static QString escaped(const QString &text);

private:
    void writeRaw(const QString &line);
    void writeLine(const QString &escapedLine);
    platform::Fd file_;
    QString path_;
};
