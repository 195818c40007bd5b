#include "engine/PasswordGenerator.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <limits>

std::uint32_t SecureUniformBelow(std::uint32_t bound)
{
    if (bound <= 1)
        return 0;
    // Values below the threshold would make the low remainders more likely; draw again instead.
    // QRandomGenerator::bounded scales by multiplication, which carries the same small bias.
    const std::uint32_t threshold = (std::numeric_limits<std::uint32_t>::max() - bound + 1) % bound;
    QRandomGenerator* source = QRandomGenerator::system();
    for (;;) {
        const std::uint32_t value = source->generate();
        if (value >= threshold)
            return value % bound;
    }
}

int RandomBetween(int a, int b, const UniformBelow& draw)
{
    if (a == b)
        return a;
    const int low = std::min(a, b);
    const int high = std::max(a, b); // excluded
    return low + static_cast<int>(draw(static_cast<std::uint32_t>(high - low)));
}

namespace {

char drawFrom(const char* set, std::uint32_t size, const UniformBelow& draw)
{
    return set[draw(size)];
}

constexpr std::uint32_t kLetterCount = sizeof(PasswordLetters) - 1;
constexpr std::uint32_t kDigitCount = sizeof(PasswordDigits) - 1;
constexpr std::uint32_t kSpecialCount = sizeof(PasswordSpecials) - 1;
static_assert(kLetterCount == 52 && kDigitCount == 10 && kSpecialCount == 32);

} // namespace

QString GeneratePassword(bool digits, bool specials, int length)
{
    return GeneratePassword(digits, specials, length, &SecureUniformBelow);
}

QString GeneratePassword(bool digits, bool specials, int length, const UniformBelow& draw)
{
    if (length <= 0)
        return QString();
    const int L = length;
    const int A = RandomBetween(1, RandomBetween(1, L, draw), draw);
    const int D = digits ? RandomBetween(1, RandomBetween(1, L - A, draw), draw) : 0;
    const int S = specials ? RandomBetween(1, RandomBetween(1, L - A - D, draw), draw) : 0;
    const int K = L - D - S;

    QByteArray pool(L, '\0');
    qsizetype filled = 0;
    for (int n = 0; n < K; ++n)
        pool[filled++] = drawFrom(PasswordLetters, kLetterCount, draw);
    for (int n = 0; n < D; ++n)
        pool[filled++] = drawFrom(PasswordDigits, kDigitCount, draw);
    for (int n = 0; n < S; ++n)
        pool[filled++] = drawFrom(PasswordSpecials, kSpecialCount, draw);

    // Reserved once so that no partial copy of the password is left behind by a reallocation.
    QString result;
    result.reserve(L);
    qsizetype poolLength = filled;
    while (poolLength > 0) {
        const int i = RandomBetween(1, static_cast<int>(poolLength), draw);
        const char taken = pool[i - 1];
        // Close the gap by hand so the pool keeps its one buffer, wiped below.
        for (qsizetype k = i - 1; k + 1 < poolLength; ++k)
            pool[k] = pool[k + 1];
        --poolLength;
        const int j = RandomBetween(1, static_cast<int>(result.size()), draw);
        result.insert(j < 1 ? 0 : j - 1, QLatin1Char(taken));
    }
    volatile char* wipe = pool.data();
    for (qsizetype k = 0; k < pool.size(); ++k)
        wipe[k] = 0;
    return result;
}
