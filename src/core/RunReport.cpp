#include "core/RunReport.h"

namespace {

// The texts of the lines that tell of something left undone, as their writers word them.
const char *const kFailureMarks[] = {
    " -- ",                                   // every failure line ends with the system's reason
    " There is a format error in the input command line.",
    " Command line with error: ",
    " Source Path named on parm line ",
    " Target Path named on parm line ",
    " Error accessing File: ",                // the listing's "Bad Folder Found" record
    " Bad filename: ",
    " Could not copy file: ",
    " Error Copying following file: ",
    " Could not delete folder: ",
    " Cannot Delete orphan files: ",
    " Orphan deletion skipped in a batch run: ",
    " Modification time not set on ",
    " Symbolic links cannot be made on volume ",
    " Stopped by signal ",
    " Gave up waiting for the disk ",
    " Cancelled by user",
    " Error ",                                // a fault that ended a part of the run
    " Size differs, left as it is: ",
    " item below ",                           // " 1 item below FOLDER not copied"
    " items below ",
};

// The questions an unattended run answered are no failures of their own, but for the listing's
// refusals of its folders, which it only says in its message.
const QString kMessage = QStringLiteral(" Message: ");
const char *const kRefusalMarks[] = {
    "Source and Target are same.",
    " file system, which holds no files to copy.",
};

bool containsOneOf(const QString &line, const auto &marks)
{
    for (const char *mark : marks)
        if (line.contains(QLatin1String(mark)))
            return true;
    return false;
}

} // namespace

bool IsFailureLine(const QString &line)
{
    if (line.contains(kMessage))
        return containsOneOf(line, kRefusalMarks);
    return containsOneOf(line, kFailureMarks) || containsOneOf(line, kRefusalMarks);
}

QString FailureReport(const QString &program, const QStringList &failures, int more, int status,
                      const QString &logPath, const QString &whyNoLog)
{
    QString out;
    const QString lead = program + QStringLiteral(": ");
    if (!logPath.isEmpty()) {
        for (QString line : failures) {
            line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            out += line + QLatin1Char('\n');
        }
        if (more > 0)
            out += lead + QString::number(more) + (more == 1 ? QStringLiteral(" more failure line") : QStringLiteral(" more failure lines"))
                + QStringLiteral(" in the run log\n");
        return out + lead + QStringLiteral("exit status ") + QString::number(status) + QStringLiteral("; the run log is ")
            + logPath + QLatin1Char('\n');
    }
    return out + lead + QStringLiteral("exit status ") + QString::number(status)
        + QStringLiteral("; no run log was written (") + whyNoLog + QStringLiteral("), its lines are above\n");
}
