#pragma once
// One file descriptor with 64-bit positions and lengths, byte-array reads and writes, and
// numbered errors (45600 to 45607, source "HugeBinaryFile").
#include "app/Errors.h"
#include <QByteArray>
#include <QString>

class HugeBinaryFile {
public:
    HugeBinaryFile() = default;
    ~HugeBinaryFile();
    HugeBinaryFile(const HugeBinaryFile &) = delete;
    HugeBinaryFile &operator=(const HugeBinaryFile &) = delete;

    bool AutoFlush() const;
    void AutoFlush(bool NewVal);
    void CloseFile();
    bool EOF_() const;             // the end-of-file flag (EOF is a C macro)
    int FileHandle() const;
    qint64 FileLen() const;
    QString FileName() const;
    void Flush();
    bool IsOpen() const { return fd_ != -1; }
    void OpenFile(const QString &OpenFileName);
    void OpenInFile(const QString &OpenFileName);
    void OpenOutFile(const QString &OpenFileName);
    qint32 ReadBytes(QByteArray &Buffer);
    void SeekAbsolute(qint64 Position);
    void SeekEnd();
    void SeekRelative(qint32 Offset);
    qint32 WriteBytes(const QByteArray &Buffer);

private:
    int fd_ = -1;
    QString name_;
    bool autoFlush_ = false;
    bool eof_ = false;
};
