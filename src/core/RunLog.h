#pragma once
// The run log: one plain-text file, appended to, CR LF line ends, flushed after every line.
// Nothing about the log may end a listing, a run or the program: a log that cannot be opened
// or written is skipped (or its lines go to standard error, when the owner asks for that).
// A log grown past kRotateBytes is moved aside to "<name>.1" as it is opened, one old copy
// kept. A new log and the folders made for it are the user's alone (0600, 0700).
#include "platform/FileSystem.h"
#include <QMutex>
#include <QString>
#include <QStringList>

class RunLog {
public:
    RunLog() = default;
    ~RunLog();
    RunLog(const RunLog &) = delete;
    RunLog &operator=(const RunLog &) = delete;

    static constexpr qint64 kRotateBytes = 10 * 1024 * 1024;
    // How many failure lines the log keeps at hand for the end of an unattended run.
    static constexpr int kFailuresKept = 20;

    // "LogQuorvelMarnisyn.txt" in the given folder.
    static QString defaultPath(const QString &folder);
    static QString fileName();

    // Opens (creating when missing, never truncating) and writes the start line
    // "--- " + date + "  " + baseName + " ---Loads--". Tries each path in turn.
    bool open(const QStringList &candidates, const QString &baseName);
    bool open(const QString &path, const QString &baseName);
    void close();
    bool isOpen() const { return file_.valid(); }
    QString path() const { return path_; }
    // Why the last open found no place: each place tried, " -- " and the system's reason,
    // joined by "; ". Empty after an open that succeeded.
    QString whyNotOpen() const { return whyNot_.join(QStringLiteral("; ")); }
    // The reason given by the owner, when it knows better (no place could even be named).
    void setWhyNotOpen(const QString &why) { whyNot_ = QStringList{why}; }

    // While no file is open, every line goes to standard error instead (a run with no place
    // for its log still tells what it did).
    void setEchoWhenClosed(bool on) { echoWhenClosed_ = on; }

    // The first kFailuresKept lines written that tell of something left undone, as written
    // (a record of several lines with its CR LF breaks), and how many more there were.
    const QStringList &failureLines() const { return failures_; }
    int moreFailures() const { return moreFailures_; }

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
    bool openOne(const QString &path);
    // The listing or the run writes from its own thread, the window (Stop, a signal) from its
    // thread: each line goes out whole, one at a time.
    mutable QMutex lock_;
    platform::Fd file_;
    QString path_;
    QStringList whyNot_;
    bool echoWhenClosed_ = false;
    QStringList failures_;
    int moreFailures_ = 0;
};
