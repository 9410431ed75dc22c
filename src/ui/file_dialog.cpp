#include "ui/file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <optional>

namespace {

std::optional<QString> s_nextFileName;
QString s_previousFileName;
QString s_lastTitle;
QString s_lastQtFilter;
FileDialog::Chooser s_chooser;

// Browsing may move the process's current directory (native dialogs do on some desktops); the program's
// own files are addressed relative to it, so it is put back whatever happens.
class CurrentDirectoryGuard
{
public:
    CurrentDirectoryGuard() : m_path(QDir::currentPath()) {}
    ~CurrentDirectoryGuard() { QDir::setCurrent(m_path); }
    CurrentDirectoryGuard(const CurrentDirectoryGuard&) = delete;
    CurrentDirectoryGuard& operator=(const CurrentDirectoryGuard&) = delete;

private:
    QString m_path;
};

} // namespace

QString FileDialog::getOpenFileName(QWidget* parent, const QString& title, const QString& filter)
{
    const CurrentDirectoryGuard guard;
    s_lastTitle = title;
    s_lastQtFilter = toQtFilter(filter);

    QString chosen;
    if (s_nextFileName) {
        chosen = *s_nextFileName;
        s_nextFileName.reset();
    } else if (s_chooser) {
        chosen = s_chooser(parent, title, s_previousFileName, s_lastQtFilter);
    } else {
        chosen = QFileDialog::getOpenFileName(parent, title, s_previousFileName, s_lastQtFilter);
    }
    if (chosen.isEmpty())
        return {};
    chosen = QFileInfo(chosen).absoluteFilePath();
    s_previousFileName = chosen;
    return QDir::toNativeSeparators(chosen);
}

void FileDialog::setNextFileName(const QString& fileName)
{
    s_nextFileName = fileName;
}

void FileDialog::setChooser(Chooser chooser)
{
    s_chooser = std::move(chooser);
}

QString FileDialog::toQtFilter(const QString& filter)
{
    if (filter.isEmpty())
        return {};
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QStringList patterns;
        if (i + 1 < parts.size()) {
            for (QString pattern : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                pattern = pattern.trimmed();
                // "*.*" means every file on Windows, names without a dot included; Qt's "*.*" would not.
                if (pattern == QLatin1String("*.*"))
                    pattern = QStringLiteral("*");
                if (!pattern.isEmpty() && !patterns.contains(pattern))
                    patterns << pattern;
            }
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        entries << QStringLiteral("%1 (%2)").arg(description, patterns.join(QLatin1Char(' ')));
    }
    return entries.join(QStringLiteral(";;"));
}

QString FileDialog::lastTitle()
{
    return s_lastTitle;
}

QString FileDialog::lastQtFilter()
{
    return s_lastQtFilter;
}
