#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class TdmPublic;

/// A throw-away installation: a folder that stands for the one beside the executable, with a fresh
/// database named by the default DataPath. Removed with the object.
class TestEnvironment
{
public:
    /// withDatabase: create veltrane.db (with the default profiles) before anything opens it.
    explicit TestEnvironment(bool withDatabase = true);
    ~TestEnvironment();

    QString dir() const { return m_dir.path(); }
    /// The stand-in executable path: <dir>/veltrane.
    QString executablePath() const;
    QString databasePath() const;
    /// A data module on this installation (created on first use).
    TdmPublic& dm();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TdmPublic> m_dm;
};

/// Path of a built program of this project (veltrane, veltrane-cli, ...).
QString BuiltProgram(const QString& name);
/// Path under the source tree.
QString SourcePath(const QString& relative);
