#include "core/TOptionsFile.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace {

QString optionsPath(const QString& executablePath)
{
    const qsizetype cut =
        std::max(executablePath.lastIndexOf(QLatin1Char('/')), executablePath.lastIndexOf(QLatin1Char('\\')));
    return executablePath.left(cut + 1) + QStringLiteral("Options.ini");
}

// The Options switches, each with its key and default.
struct BoolKey
{
    const char* key;
    bool defaultValue;
};

constexpr BoolKey kPassNumber{"Pass_Number", true};
constexpr BoolKey kPassSpechar{"Pass_Spechar", true};
constexpr BoolKey kAutoGenerate{"AutoGenerate", true};
constexpr BoolKey kTestLogin{"TestLogin", true};
constexpr BoolKey kChangePassword{"ChangePassword", true};
constexpr BoolKey kSendMail{"SendMail", true};
constexpr BoolKey kVerifyPassword{"VerifyPassword", true};
constexpr BoolKey kDeleteUser{"DeleteUser", true};
constexpr BoolKey kGenerateNew{"GenerateNew", true};
constexpr BoolKey kVerifyAfterChange{"VerifyAfterChange", true};
constexpr const char* kPassLength = "Pass_Length";
constexpr const char* kHostKeyPolicy = "HostKeyPolicy";
constexpr const char* kTrustOnFirstUse = "tofu";
constexpr const char* kKnownOnly = "known-only";
constexpr int kPassLengthDefault = 8;
constexpr const char* kParallelHosts = "ParallelHosts";

} // namespace

TOptionsFile::TOptionsFile(const QString& executablePath)
    : m_ini(optionsPath(executablePath)), m_executablePath(executablePath)
{
}

QString TOptionsFile::ReadProblem() const
{
    const QString problem = m_ini.Problem();
    if (problem.isEmpty())
        return QString();
    return QStringLiteral("The settings file %1 is not read (%2), so every setting has its default: make it a "
                          "regular text file.")
        .arg(path(), problem);
}

#define VELTRANE_BOOL_OPTION(Getter, Setter, k)                                                                        \
    bool TOptionsFile::Getter() const                                                                                  \
    {                                                                                                                  \
        return m_ini.readBool(Section, QLatin1String(k.key), k.defaultValue);                                          \
    }                                                                                                                  \
    void TOptionsFile::Setter(bool on) const                                                                           \
    {                                                                                                                  \
        m_ini.writeBool(Section, QLatin1String(k.key), on);                                                            \
    }

VELTRANE_BOOL_OPTION(PassNumber, SetPassNumber, kPassNumber)
VELTRANE_BOOL_OPTION(PassSpechar, SetPassSpechar, kPassSpechar)
VELTRANE_BOOL_OPTION(AutoGenerate, SetAutoGenerate, kAutoGenerate)
VELTRANE_BOOL_OPTION(TestLogin, SetTestLogin, kTestLogin)
VELTRANE_BOOL_OPTION(ChangePassword, SetChangePassword, kChangePassword)
VELTRANE_BOOL_OPTION(SendMail, SetSendMail, kSendMail)
VELTRANE_BOOL_OPTION(VerifyPassword, SetVerifyPassword, kVerifyPassword)
VELTRANE_BOOL_OPTION(DeleteUser, SetDeleteUser, kDeleteUser)
VELTRANE_BOOL_OPTION(GenerateNew, SetGenerateNew, kGenerateNew)
VELTRANE_BOOL_OPTION(VerifyAfterChange, SetVerifyAfterChange, kVerifyAfterChange)

#undef VELTRANE_BOOL_OPTION

int TOptionsFile::PassLength() const
{
    const int length = m_ini.readInteger(Section, QLatin1String(kPassLength), kPassLengthDefault);
    // A hand-edited length the generator cannot sensibly make (0, or a million) means the default.
    return length >= MinPassLength && length <= MaxPassLength ? length : kPassLengthDefault;
}

void TOptionsFile::SetPassLength(int length) const
{
    m_ini.writeInteger(Section, QLatin1String(kPassLength),
                       length >= MinPassLength && length <= MaxPassLength ? length : kPassLengthDefault);
}

int TOptionsFile::ParallelHosts() const
{
    const int hosts = m_ini.readInteger(Section, QLatin1String(kParallelHosts), DefaultParallelHosts);
    return hosts >= MinParallelHosts && hosts <= MaxParallelHosts ? hosts : DefaultParallelHosts;
}

void TOptionsFile::SetParallelHosts(int hosts) const
{
    m_ini.writeInteger(Section, QLatin1String(kParallelHosts),
                       hosts >= MinParallelHosts && hosts <= MaxParallelHosts ? hosts : DefaultParallelHosts);
}

THostKeyPolicy TOptionsFile::HostKeyPolicy() const
{
    const QString value = m_ini.readString(Section, QLatin1String(kHostKeyPolicy), QString()).trimmed();
    if (value.isEmpty() || value.compare(QLatin1String(kTrustOnFirstUse), Qt::CaseInsensitive) == 0)
        return THostKeyPolicy::TrustOnFirstUse;
    return THostKeyPolicy::KnownOnly;
}

void TOptionsFile::SetHostKeyPolicy(THostKeyPolicy policy) const
{
    m_ini.writeString(Section, QLatin1String(kHostKeyPolicy),
                      QLatin1String(policy == THostKeyPolicy::KnownOnly ? kKnownOnly : kTrustOnFirstUse));
}

namespace {

bool IsPlainMailAddress(const QString& text)
{
    static const QRegularExpression plain(QStringLiteral("^[^\\s@?&#%:/<>\"',;]+@[^\\s@?&#%:/<>\"',;]+$"));
    return plain.match(text).hasMatch();
}

} // namespace

QString TOptionsFile::SupportAddress() const
{
    const QString address = m_ini.readString(AboutSection, QStringLiteral("SupportAddress"), QString()).trimmed();
    return IsPlainMailAddress(address) ? address : DefaultSupportAddress;
}

QString TOptionsFile::FeedbackAddress() const
{
    const QString address = m_ini.readString(AboutSection, QStringLiteral("FeedbackAddress"), QString()).trimmed();
    return IsPlainMailAddress(address) ? address : SupportAddress();
}

QString TOptionsFile::HomePage() const
{
    const QString text = m_ini.readString(AboutSection, QStringLiteral("HomePage"), QString()).trimmed();
    const QUrl url(text, QUrl::StrictMode);
    const bool web = url.isValid() && !url.host().isEmpty() &&
                     (url.scheme() == QStringLiteral("https") || url.scheme() == QStringLiteral("http"));
    return web ? text : DefaultHomePage;
}

QString TOptionsFile::DatabasePath() const
{
    const QString& exe = m_executablePath;
    const qsizetype sep = std::max(exe.lastIndexOf(QLatin1Char('/')), exe.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = exe.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > sep ? exe.left(dot) : exe;
    return m_ini.readString(Section, QStringLiteral("DataPath"), base + QStringLiteral(".db"));
}

int TOptionsFile::ColumnWidth(int column) const
{
    return m_ini.readInteger(ColumnSection, QString::number(column), DefaultColumnWidth);
}

void TOptionsFile::SetColumnWidth(int column, int width) const
{
    m_ini.writeInteger(ColumnSection, QString::number(column), width);
}
