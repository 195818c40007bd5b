#include "core/FileExposure.h"

#include <QFile>
#include <QFileInfo>

QString FileExposureWarning(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    const QFileDevice::Permissions others =
        QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    if (!(info.permissions() & others))
        return QString();
    QString quoted = info.absoluteFilePath();
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QStringLiteral("The database %1 can be read by other users of this computer, and it holds every "
                          "password: run chmod 600 '%2' to keep it yours.")
        .arg(info.absoluteFilePath(), quoted);
}

bool RestrictToOwner(const QString& path, bool folder)
{
    QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (folder)
        mode |= QFileDevice::ExeOwner;
    return QFile::setPermissions(path, mode);
}
