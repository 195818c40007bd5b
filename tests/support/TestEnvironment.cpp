#include "tests/support/TestEnvironment.h"

#include "core/DatabaseCreator.h"
#include "core/TdmPublic.h"

#include <QDir>

TestEnvironment::TestEnvironment(bool withDatabase)
{
    if (withDatabase)
        CreateDatabase(databasePath());
}

TestEnvironment::~TestEnvironment() = default;

QString TestEnvironment::executablePath() const
{
    return m_dir.filePath(QStringLiteral("veltrane"));
}

QString TestEnvironment::databasePath() const
{
    return m_dir.filePath(QStringLiteral("veltrane.db"));
}

TdmPublic& TestEnvironment::dm()
{
    if (!m_dm)
        m_dm = std::make_unique<TdmPublic>(executablePath());
    return *m_dm;
}

QString BuiltProgram(const QString& name)
{
    const QString binary = qEnvironmentVariable("VELTRANE_BINARY_DIR");
    for (const QString& sub : {QStringLiteral("/bin/"), QStringLiteral("/")})
        if (QFileInfo::exists(binary + sub + name))
            return binary + sub + name;
    return binary + QStringLiteral("/") + name;
}

QString SourcePath(const QString& relative)
{
    return qEnvironmentVariable("VELTRANE_SOURCE_DIR") + QLatin1Char('/') + relative;
}
