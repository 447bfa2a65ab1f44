#pragma once
// The per-user settings store: an INI file named after the executable base name, with the
// sections "Form" and "Parms". Keys are matched without regard to case: a value written as
// "skiporphan" is the one read back as "SkipOrphan".
#include <QString>

class Settings {
public:
    // Production: the user's config folder, file <appName>.ini in folder <appName>.
    void setApplication(const QString &appName);
    // Tests: an explicit INI file.
    void setFile(const QString &iniPath) { file_ = iniPath; }
    QString file() const { return file_; }

    QString GetSetting(const QString &section, const QString &key, const QString &def) const;
    // Writes one value; answers true, or false with the system's text of what stopped it.
    bool SaveSetting(const QString &section, const QString &key, const QString &value, QString *error = nullptr);
    // Removes every section and key of the application; failures are ignored.
    void DeleteSetting();

private:
    QString file_;
};
