#include "entries/Installation.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString InstalledReadme(const QString& ProgramDir) {
    return ProgramDir + QStringLiteral("/../share/doc/zanvel-tftp/README.md");
}

} // namespace

bool RunsInstalled(const QString& ProgramDir) {
    // Compared as canonical paths, so that /usr/bin reached through a link to it still counts.
    const QString configured = QFileInfo(QStringLiteral(ZANVEL_INSTALL_BINDIR)).canonicalFilePath();
    return (!configured.isEmpty() && QFileInfo(ProgramDir).canonicalFilePath() == configured) ||
           QFileInfo::exists(InstalledReadme(ProgramDir));
}

QString ReadmePath(const QString& ProgramDir) {
    for (const QString& path :
         {InstalledReadme(ProgramDir), ProgramDir + QStringLiteral("/README.md")}) {
        const QFileInfo readme(path);
        if (readme.exists()) {
            return readme.canonicalFilePath();
        }
    }
    return QString();
}
