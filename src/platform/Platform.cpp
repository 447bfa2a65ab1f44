#include "platform/Platform.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <dirent.h>
#include <vector>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscaped(char16_t c)
{
    return c >= 0xDC80 && c <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at p (1..4), or 0 when the bytes there are not one.
int validSequence(const unsigned char *p, qsizetype left)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    int len;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        len = 2;
        min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        len = 3;
        min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        len = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < len)
        return 0;
    char32_t cp = b & (0x7F >> len);
    for (int i = 1; i < len; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are not valid UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QByteArray encodeName(QStringView name)
{
    QByteArray out;
    out.reserve(name.size() + name.size() / 2);
    const qsizetype n = name.size();
    const QChar *d = name.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = d[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        char32_t cp = c;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(d[i + 1].unicode())) {
            cp = QChar::surrogateToUcs4(c, d[i + 1].unicode());
            ++i;
        } else if (isEscaped(c)) {
            out.append(char(c - kEscapeBase));
            continue;
        } else if (QChar::isSurrogate(c)) {
            cp = 0xFFFD; // a lone surrogate no decoding produced
        }
        if (cp < 0x800) {
            out.append(char(0xC0 | (cp >> 6)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.append(char(0xE0 | (cp >> 12)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        } else {
            out.append(char(0xF0 | (cp >> 18)));
            out.append(char(0x80 | ((cp >> 12) & 0x3F)));
            out.append(char(0x80 | ((cp >> 6) & 0x3F)));
            out.append(char(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

QString decodeName(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    // Names are mostly ASCII or valid UTF-8: take Qt's fast path when the whole name is valid.
    qsizetype i = 0;
    bool plain = true;
    while (i < size) {
        const int len = validSequence(p + i, size - i);
        if (len == 0) {
            plain = false;
            break;
        }
        i += len;
    }
    if (plain)
        return QString::fromUtf8(bytes, size);
    QString out = QString::fromUtf8(bytes, i);
    while (i < size) {
        const int len = validSequence(p + i, size - i);
        if (len == 0) {
            out.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
        } else {
            out.append(QString::fromUtf8(bytes + i, len));
            i += len;
        }
    }
    return out;
}

bool hasEscapedBytes(const QString &name)
{
    for (QChar c : name)
        if (isEscaped(c.unicode()))
            return true;
    return false;
}

QString displayName(const QString &name)
{
    if (!hasEscapedBytes(name))
        return name;
    QString out = name;
    for (QChar &c : out)
        if (isEscaped(c.unicode()))
            c = QChar(0xFFFD);
    return out;
}

QChar separator()
{
    return QLatin1Char('/');
}

QString homeFolder()
{
    QString h = QDir::homePath();
    while (h.size() > 1 && h.endsWith(QLatin1Char('/')))
        h.chop(1);
    return h;
}

static QString underHome(const char *name)
{
    const QString h = homeFolder();
    return (h == QLatin1String("/") ? QString() : h) + QLatin1Char('/') + QLatin1String(name);
}

QString defaultSource() { return underHome("Source"); }
QString defaultTarget() { return underHome("Target"); }
QString designSource() { return underHome("temp Source"); }
QString designTarget() { return underHome("temp Target"); }

QString exeFolder()
{
    // The executable's own link names its file by the exact bytes (the run log lives beside it).
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n > 0 && size_t(n) < sizeof buf) {
        const QString exe = decodeName(buf, qsizetype(n));
        const qsizetype slash = exe.lastIndexOf(QLatin1Char('/'));
        if (slash > 0)
            return exe.left(slash);
        if (slash == 0)
            return QStringLiteral("/");
    }
    return QCoreApplication::applicationDirPath();
}

QString exeBaseName()
{
    return exeBaseNameOf(QCoreApplication::applicationFilePath());
}

QString exeBaseNameOf(const QString &exePath)
{
    // Executables carry no extension here: the whole file name is the name, dots and all.
    const QString name = QFileInfo(exePath).fileName();
    return name.isEmpty() ? QStringLiteral("QuorvelMarnisyn") : name;
}

bool folderExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat st;
    if (::stat(encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode);
}

QString systemErrorText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString timeFailureText(int err)
{
    if (err == ERANGE || err == EOVERFLOW)
        return QStringLiteral("the volume cannot hold it and keeps another");
    return systemErrorText(err);
}

bool subfolderNames(const QString &folder, QStringList *names, bool firstOnly)
{
    names->clear();
    if (folder.isEmpty())
        return false;
    const int fd = ::open(encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    while (const struct dirent *de = ::readdir(dir)) {
        const char *n = de->d_name;
        if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
            continue; // hidden (dot) folders are folders like any other
        bool isDir = de->d_type == DT_DIR;
        if (de->d_type == DT_UNKNOWN) {
            struct stat st;
            isDir = ::fstatat(::dirfd(dir), n, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        }
        if (!isDir)
            continue;
        names->append(decodeName(n, qsizetype(std::strlen(n))));
        if (firstOnly)
            break;
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end(), [](const QString &a, const QString &b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return true;
}

bool folderReadable(const QString &path)
{
    const QByteArray p = encodeName(path);
    return folderExists(path) && ::access(p.constData(), R_OK | X_OK) == 0;
}

QString absoluteFolder(const QString &path)
{
    if (path.isEmpty())
        return path;
    QString full = path;
    if (!path.startsWith(QLatin1Char('/'))) {
        std::vector<char> buf(4096);
        while (!::getcwd(buf.data(), buf.size())) {
            if (errno != ERANGE)
                return path; // no current folder to put in front: the text stays as typed
            buf.resize(buf.size() * 2);
        }
        full = decodeName(buf.data(), qsizetype(std::strlen(buf.data()))) + QLatin1Char('/') + path;
    }
    const bool trailing = full.endsWith(QLatin1Char('/'));
    QString out;
    out.reserve(full.size());
    for (QStringView part : QStringView(full).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        out += QLatin1Char('/');
        out += part;
    }
    if (out.isEmpty() || trailing)
        out += QLatin1Char('/');
    return out;
}


bool folderHoldsExactName(const QString &folder, const QString &name)
{
    const QByteArray want = encodeName(name);
    DIR *d = ::opendir(encodeName(folder).constData());
    if (!d)
        return false;
    bool found = false;
    while (dirent *e = ::readdir(d)) {
        if (want == e->d_name) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool localTime(qint64 secondsSinceEpoch, LocalTime &out)
{
    // The zone is read once: a conversion then asks nothing of the disk.
    static std::once_flag zoneRead;
    std::call_once(zoneRead, [] { ::tzset(); });
    const time_t t = time_t(secondsSinceEpoch);
    if (qint64(t) != secondsSinceEpoch)
        return false;
    struct tm tm;
#ifdef _WIN32
    if (::localtime_s(&tm, &t) != 0)
        return false;
#else
    if (!::localtime_r(&t, &tm))
        return false;
#endif
    out.year = tm.tm_year + 1900;
    out.month = tm.tm_mon + 1;
    out.day = tm.tm_mday;
    out.hour = tm.tm_hour;
    out.minute = tm.tm_min;
    out.second = tm.tm_sec;
    return true;
}

} // namespace platform

void platform::endProcessNow(int status)
{
    std::fflush(nullptr);
    ::_exit(status);
}
