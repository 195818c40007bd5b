#include "core/DatabaseKeyProbe.h"

#include <QFile>

#include <array>

namespace {

/// The smallest page SQLite writes; every database file is a whole number of them.
constexpr qint64 MinimumPageSize = 512;
/// An enciphered page uses nearly every byte value: 512 random bytes hold about 220 distinct ones,
/// while text holds fewer than 100. The margin keeps chance far away on both sides.
constexpr int MinimumDistinctBytes = 160;

} // namespace

bool MayBeUnderPassword(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    if (size < MinimumPageSize || size % MinimumPageSize != 0)
        return false;
    const QByteArray head = file.read(MinimumPageSize);
    if (head.size() != MinimumPageSize || head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return false;
    std::array<bool, 256> seen{};
    int distinct = 0;
    for (const char c : head) {
        bool& mark = seen[static_cast<unsigned char>(c)];
        if (!mark) {
            mark = true;
            ++distinct;
        }
    }
    return distinct >= MinimumDistinctBytes;
}
