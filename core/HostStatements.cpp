#include "core/HostStatements.h"

#include "core/TdmPublic.h"

namespace {

QByteArray escaped(const QString& text)
{
    return TdmPublic::SqlEscape(text).toUtf8();
}

} // namespace

QString HostSaveStatement(const THost& host, TSaveMode mode, bool withAccessColumns)
{
    switch (mode) {
    case TSaveMode::Insert:
        if (withAccessColumns)
            return QString::asprintf(
                "Insert into Hosts(hID,hAddress,hPort,hNote,OSID,MngLogin,MngPwd,MngKeyPath,UseManager,MngElevation,"
                "MngRootPwd,MngKeyPass) Values(%d,'%s',%d,'%s',%d,'%s','%s','%s',%d,%d,'%s','%s')",
                host.hID, escaped(host.hAddress).constData(), host.hPort, escaped(host.hNote).constData(), host.OSID,
                escaped(host.MngLogin).constData(), qUtf8Printable(host.MngPwd), escaped(host.MngKeyPath).constData(),
                host.UseManager, ElevationValue(host.MngElevation), escaped(host.MngRootPwd).constData(),
                escaped(host.MngKeyPass).constData());
        return QString::asprintf(
            "Insert into Hosts(hID,hAddress,hPort,hNote,OSID,MngLogin,MngPwd,MngKeyPath,UseManager) "
            "Values(%d,'%s',%d,'%s',%d,'%s','%s','%s',%d)",
            host.hID, escaped(host.hAddress).constData(), host.hPort, escaped(host.hNote).constData(), host.OSID,
            escaped(host.MngLogin).constData(), qUtf8Printable(host.MngPwd), escaped(host.MngKeyPath).constData(),
            host.UseManager);
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
        return statement + QString::asprintf(" where hID=%d", host.hID);
    }
    case TSaveMode::Delete:
        return QString::asprintf("Delete from Hosts where hID=%d", host.hID);
    }
    return QString();
}
