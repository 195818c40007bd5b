#include "core/HostStatements.h"

#include "core/TdmPublic.h"

namespace {

QByteArray escaped(const QString& text)
{
    return TdmPublic::SqlEscape(text).toUtf8();
}

} // namespace

QString HostSaveStatement(const THost& host, TSaveMode mode, bool withAccessColumns, bool withSwitchColumns)
{
    switch (mode) {
    case TSaveMode::Insert: {
        QString columns = QStringLiteral("hID,hAddress,hPort,hNote,OSID,MngLogin,MngPwd,MngKeyPath,UseManager");
        QString values = QString::asprintf(
            "%d,'%s',%d,'%s',%d,'%s','%s','%s',%d", host.hID, escaped(host.hAddress).constData(), host.hPort,
            escaped(host.hNote).constData(), host.OSID, escaped(host.MngLogin).constData(), qUtf8Printable(host.MngPwd),
            escaped(host.MngKeyPath).constData(), host.UseManager);
        if (withAccessColumns) {
            columns += QStringLiteral(",MngElevation,MngRootPwd,MngKeyPass");
            values += QString::asprintf(",%d,'%s','%s'", ElevationValue(host.MngElevation),
                                        escaped(host.MngRootPwd).constData(), escaped(host.MngKeyPass).constData());
        }
        if (withSwitchColumns) {
            columns += QStringLiteral(",MngUseAgent,hLegacyAlgorithms");
            values += QString::asprintf(",%d,%d", int(host.MngUseAgent), int(host.hLegacyAlgorithms));
        }
        return QStringLiteral("Insert into Hosts(") + columns + QStringLiteral(") Values(") + values + QLatin1Char(')');
    }
    case TSaveMode::Update: {
        QString statement = QString::asprintf(
            "Update Hosts set hAddress='%s',hPort=%d,UseManager=%d,hNote='%s',OSID=%d, MngLogin ='%s',MngPwd='%s',"
            "MngKeyPath='%s'",
            escaped(host.hAddress).constData(), host.hPort, host.UseManager, escaped(host.hNote).constData(), host.OSID,
            escaped(host.MngLogin).constData(), qUtf8Printable(host.MngPwd), escaped(host.MngKeyPath).constData());
        if (withAccessColumns)
            statement +=
                QString::asprintf(",MngElevation=%d,MngRootPwd='%s',MngKeyPass='%s'", ElevationValue(host.MngElevation),
                                  escaped(host.MngRootPwd).constData(), escaped(host.MngKeyPass).constData());
        if (withSwitchColumns)
            statement += QString::asprintf(",MngUseAgent=%d,hLegacyAlgorithms=%d", int(host.MngUseAgent),
                                           int(host.hLegacyAlgorithms));
        return statement + QString::asprintf(" where hID=%d", host.hID);
    }
    case TSaveMode::Delete:
        return QString::asprintf("Delete from Hosts where hID=%d", host.hID);
    }
    return QString();
}
