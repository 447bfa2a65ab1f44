// The typed error of a copy and the texts made from it: the number, source and description
// the copier raises, and the reason its failure lines give.
#include "bigfile/CopyFile.h"
#include "bigfile/HugeBinaryFile.h"
#include "platform/Platform.h"

namespace {

constexpr int kUnexpectedError = 51; // the runtime's number of an error none of ours

QString copierSource() { return QStringLiteral("CopyBigFiles"); }

// A failure inside the file layer: its number and texts are HugeBinaryFile's.
bool isFileLayerFailure(const CopyError &e)
{
    return e.fileError != 0;
}

QString errorDetail(int err)
{
    return QStringLiteral("\nError ") + QString::number(err) + QLatin1Char('\n') + platform::pathErrorText(err);
}

const QString &folderMovedText()
{
    static const QString text =
        QStringLiteral("The destination folder is no longer the folder the copy was made in: ");
    return text;
}

QString nameNotKeptText(const QString &storedAs)
{
    return storedAs.isEmpty() ? QStringLiteral("the volume does not keep this name")
                              : QStringLiteral("the volume stores this name as ") + storedAs;
}

const QString &sourceChangedText()
{
    static const QString text = QStringLiteral("the file changed while it was copied");
    return text;
}

} // namespace

int CopyError::number() const
{
    if (isFileLayerFailure(*this))
        return fileError;
    switch (step) {
    case CopyStep::SourceKind:
    case CopyStep::SourceChanged:
    case CopyStep::FolderMoved:
    case CopyStep::TimeNotKept:
    case CopyStep::NameNotKept: return 75;
    case CopyStep::Unexpected: return kUnexpectedError;
    default: return platform::numberedFileError(err).number;
    }
}

QString CopyError::source() const
{
    return isFileLayerFailure(*this) ? QStringLiteral("HugeBinaryFile") : copierSource();
}

QString CopyError::description() const
{
    if (isFileLayerFailure(*this))
        return HugeBinaryFile::ErrorText(fileError, err);
    const QString access = QStringLiteral("Path/File access error\n");
    switch (step) {
    case CopyStep::SourceKind: return access + QStringLiteral("Not a regular file: ") + path;
    case CopyStep::SourceChanged: return access + path + QLatin1Char('\n') + sourceChangedText();
    case CopyStep::FolderMoved: return access + folderMovedText() + path + (err ? errorDetail(err) : QString());
    case CopyStep::NameNotKept: return access + path + QLatin1Char('\n') + nameNotKeptText(text);
    case CopyStep::TimeNotKept:
        return QStringLiteral("The copy is complete, but its modification time could not be set\nError ")
            + QString::number(err) + QLatin1Char('\n') + platform::systemErrorText(err);
    case CopyStep::Unexpected: return text;
    default: return platform::numberedFileError(err).text + errorDetail(err);
    }
}

QString CopyError::reason() const
{
    if (isFileLayerFailure(*this))
        return err ? platform::pathErrorText(err) : HugeBinaryFile::ErrorText(fileError, 0);
    switch (step) {
    case CopyStep::SourceKind: return QStringLiteral("Not a regular file: ") + path;
    case CopyStep::SourceChanged: return sourceChangedText();
    case CopyStep::FolderMoved: return err ? platform::pathErrorText(err) : folderMovedText() + path;
    case CopyStep::TimeNotKept: return platform::timeFailureText(err);
    case CopyStep::NameNotKept: return nameNotKeptText(text);
    case CopyStep::Unexpected: return text.trimmed();
    default: return platform::pathErrorText(err);
    }
}

bool CopyError::pathRefused() const
{
    if (isFileLayerFailure(*this))
        return HugeBinaryFile::IsPathRefusal(fileError, err);
    switch (step) {
    case CopyStep::SourceKind:
    case CopyStep::FolderMoved: return true;
    case CopyStep::SourceChanged:
    case CopyStep::TimeNotKept:
    case CopyStep::NameNotKept:
    case CopyStep::Unexpected: return false;
    default: return err == platform::errc::LinkOnPath || err == platform::errc::OutsideFolder;
    }
}

CopyFailure::CopyFailure(CopyError e) : AppError(e.number(), e.source(), e.description()), error(std::move(e))
{
    SystemError = error.err;
}

bool IsPathRefusal(const std::exception &failure)
{
    if (const auto *copy = dynamic_cast<const CopyFailure *>(&failure))
        return copy->error.pathRefused();
    return dynamic_cast<const PathRefusedError *>(&failure) != nullptr;
}

