#include "core/ShadowHash.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace {

/// crypt_r's working memory: large (about 32 KiB), so it lives on the heap, and it holds what the
/// password was turned into, so it is wiped before it is freed.
struct CryptWork
{
    // Zeroed, as crypt_r wants it the first time.
    CryptWork() : data(std::make_unique<crypt_data>()) {}
    ~CryptWork() { explicit_bzero(data.get(), sizeof(crypt_data)); }
    CryptWork(const CryptWork&) = delete;
    CryptWork& operator=(const CryptWork&) = delete;
    std::unique_ptr<crypt_data> data;
};

/// crypt_r's answer for phrase with setting, or null where it has none: crypt_r marks a setting it
/// cannot use with a leading "*" ("*0", "*1") or returns null, depending on how libxcrypt was built.
const char* cryptOrNull(const char* phrase, const QByteArray& setting, CryptWork& work)
{
    const char* result = crypt_r(phrase, setting.constData(), work.data.get());
    return result == nullptr || result[0] == '*' ? nullptr : result;
}

/// a == b without stopping at the first difference, so that the time taken tells nothing of where
/// a guess went wrong. The lengths are no secret: each scheme's hash has a fixed one.
bool sameBytes(const char* a, const QByteArray& b)
{
    const std::size_t length = std::strlen(a);
    if (length != static_cast<std::size_t>(b.size()))
        return false;
    volatile unsigned char difference = 0;
    for (std::size_t i = 0; i < length; ++i)
        difference =
            difference | (static_cast<unsigned char>(a[i]) ^ static_cast<unsigned char>(b[static_cast<qsizetype>(i)]));
    return difference == 0;
}

/// What the field alone tells, before crypt_r is asked: no password, locked, or no hash at all.
QString fieldProblem(const QString& hash)
{
    if (hash.isEmpty())
        return QStringLiteral("the account has no password (its password field is empty)");
    if (hash == QLatin1String("*"))
        return QStringLiteral("the account is locked (\"*\": no password can log in)");
    if (hash.startsWith(QLatin1Char('!')))
        return QStringLiteral("the account is locked (\"!\" in its password field)");
    // Every scheme writes printable ASCII; anything else would not even survive toLatin1().
    for (const QChar c : hash)
        if (c.unicode() <= u' ' || c.unicode() >= 0x7f)
            return QStringLiteral("the password field is in no hash scheme this system can check");
    return QString();
}

} // namespace

bool PasswordMatchesShadowHash(const SecretBuffer& password, const QString& hash)
{
    // A password with a NUL in it was never hashed whole by any host; crypt_r would see only its start.
    if (!fieldProblem(hash).isEmpty() || password.bytes().contains('\0'))
        return false;
    const QByteArray setting = hash.toLatin1();
    CryptWork work;
    const char* result = cryptOrNull(password.c_str(), setting, work);
    return result != nullptr && sameBytes(result, setting);
}

QString ShadowHashProblem(const QString& hash)
{
    if (QString problem = fieldProblem(hash); !problem.isEmpty())
        return problem;
    CryptWork work;
    // Any phrase will do: only whether crypt_r takes the field as its setting matters here.
    if (cryptOrNull("", hash.toLatin1(), work) != nullptr)
        return QString();
    const qsizetype schemeEnd = hash.startsWith(QLatin1Char('$')) ? hash.indexOf(QLatin1Char('$'), 1) : -1;
    if (schemeEnd > 0 && schemeEnd <= 8)
        return QStringLiteral("the hash scheme \"%1\" is not one this system can check").arg(hash.left(schemeEnd + 1));
    return QStringLiteral("the password field is in no hash scheme this system can check");
}
