#include "ui/TUserListModel.h"

#include "core/UserListColumns.h"
#include "ui/Pictures.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <numeric>

namespace {

const QStringList& ColumnCaptions()
{
    static const QStringList captions = {
        QStringLiteral("Login"),
        QStringLiteral("New Password"),
        QStringLiteral("Valid Period"),
        QStringLiteral("Passed Days"),
        QStringLiteral("Full Name"),
        QStringLiteral("E-mail"),
        QStringLiteral("Last Change Time"),
    };
    return captions;
}

const QColor EvenRowColour(0xFF, 0xFF, 0xFF);
const QColor OddRowColour(0xEF, 0xEF, 0xEF);
const QColor DueSoonColour(0xFF, 0x00, 0x00);

ushort FoldAscii(ushort c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<ushort>(c - ('a' - 'A')) : c;
}

} // namespace

TUserListModel::TUserListModel(QObject* parent)
    : QAbstractTableModel(parent), m_sortDown(Pictures::SmallIcon(QStringLiteral("sort_down"))),
      m_sortUp(Pictures::SmallIcon(QStringLiteral("sort_up"))),
      m_personPink(Pictures::SmallIcon(QStringLiteral("person_pink"))),
      m_personGreen(Pictures::SmallIcon(QStringLiteral("person_green")))
{
}

TUserListModel::~TUserListModel() = default;

int TUserListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int TUserListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TUserListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const Row& row = m_rows[static_cast<size_t>(index.row())];
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        return textsOf(row).value(column);
    case Qt::CheckStateRole:
        return column == 0 ? QVariant(row.checked ? Qt::Checked : Qt::Unchecked) : QVariant();
    case Qt::DecorationRole:
        // The picture goes by position, not by user: it changes when rows move.
        if (column == 0)
            return index.row() % 2 == 0 ? m_personGreen : m_personPink;
        return QVariant();
    case Qt::BackgroundRole:
        return index.row() % 2 == 0 ? EvenRowColour : OddRowColour;
    case Qt::FontRole:
        if (column == PassedDaysColumn) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::ForegroundRole:
        if (column == PassedDaysColumn)
            return dueSoon(row) ? DueSoonColour : QColor(Qt::black);
        return QVariant();
    case DueSoonRole:
        return column == PassedDaysColumn && dueSoon(row);
    default:
        return QVariant();
    }
}

bool TUserListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole || index.row() >= rowCount())
        return false;
    SetChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

QVariant TUserListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QVariant();
    if (role == Qt::DisplayRole)
        return ColumnCaptions().at(section);
    if (role == Qt::DecorationRole && section == m_markColumn)
        return m_markUp ? m_sortUp : m_sortDown;
    return QVariant();
}

Qt::ItemFlags TUserListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

int TUserListModel::AppendRow()
{
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    Row added;
    added.texts.fill(QString(), ColumnCount);
    m_rows.push_back(std::move(added));
    endInsertRows();
    return row;
}

void TUserListModel::AppendUsers(QList<TUser>&& users, const QDateTime& now)
{
    if (users.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(users.size()) - 1);
    m_rows.reserve(m_rows.size() + static_cast<size_t>(users.size()));
    for (TUser& user : users) {
        Row added;
        added.user = std::make_unique<TUser>(std::move(user));
        added.boundAt = now;
        m_rows.push_back(std::move(added));
    }
    users.clear();
    endInsertRows();
}

const QStringList& TUserListModel::textsOf(const Row& row) const
{
    if (row.texts.isEmpty() && row.user)
        row.texts = UserListTexts(*row.user, row.boundAt);
    return row.texts;
}

bool TUserListModel::dueSoon(const Row& row) const
{
    return PasswordDueSoon(textsOf(row).value(ValidPeriodColumn), textsOf(row).value(PassedDaysColumn));
}

void TUserListModel::BindUser(int row, const TUser& user, const QDateTime& now)
{
    if (row < 0 || row >= rowCount())
        return;
    Row& target = m_rows[static_cast<size_t>(row)];
    target.user = std::make_unique<TUser>(user);
    target.boundAt = now;
    target.texts = UserListTexts(user, now);
    const bool wasChecked = target.checked;
    setCheckedNoSignal(target, false);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
    if (wasChecked)
        emit checksChanged();
}

const TUser* TUserListModel::UserAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return m_rows[static_cast<size_t>(row)].user.get();
}

void TUserListModel::FreeUser(int row, bool deleteRow)
{
    if (row < 0 || row >= rowCount())
        return;
    Row& target = m_rows[static_cast<size_t>(row)];
    target.user.reset();
    if (!deleteRow)
        return;
    const bool wasChecked = target.checked;
    setCheckedNoSignal(target, false);
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    if (wasChecked)
        emit checksChanged();
    // Colours and pictures follow the position: the rows below moved up.
    if (row < rowCount())
        emit dataChanged(index(row, 0), index(rowCount() - 1, ColumnCount - 1));
}

void TUserListModel::Clear()
{
    const bool hadChecks = m_checked > 0;
    beginResetModel();
    m_rows.clear();
    m_checked = 0;
    endResetModel();
    if (hadChecks)
        emit checksChanged();
}

QString TUserListModel::Text(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    return textsOf(m_rows[static_cast<size_t>(row)]).value(column);
}

bool TUserListModel::IsChecked(int row) const
{
    return row >= 0 && row < rowCount() && m_rows[static_cast<size_t>(row)].checked;
}

void TUserListModel::setCheckedNoSignal(Row& row, bool checked)
{
    if (row.checked == checked)
        return;
    row.checked = checked;
    m_checked += checked ? 1 : -1;
}

void TUserListModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount() || m_rows[static_cast<size_t>(row)].checked == checked)
        return;
    setCheckedNoSignal(m_rows[static_cast<size_t>(row)], checked);
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
    emit checksChanged();
}

void TUserListModel::SetAllChecks(bool invert, bool value)
{
    if (m_rows.empty())
        return;
    for (Row& row : m_rows)
        setCheckedNoSignal(row, invert ? !row.checked : value);
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
    emit checksChanged();
}

int TUserListModel::CompareText(const QString& a, const QString& b)
{
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const ushort ca = FoldAscii(a.at(i).unicode());
        const ushort cb = FoldAscii(b.at(i).unicode());
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool TUserListModel::SortsByNumber(int column)
{
    return column == ValidPeriodColumn || column == PassedDaysColumn || column == LastChangeColumn;
}

std::optional<double> TUserListModel::numberKeyOf(const Row& row, int column) const
{
    const QString text = textsOf(row).value(column);
    if (text.isEmpty())
        return std::nullopt;
    // The shown date has no seconds and names the month; the record's day number orders exactly.
    if (column == LastChangeColumn)
        return row.user ? std::optional<double>(row.user->pwLastTime) : std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

void TUserListModel::SortByColumn(int column, bool descending)
{
    if (column < 0 || column >= ColumnCount || m_rows.size() < 2)
        return;
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    if (SortsByNumber(column)) {
        std::vector<std::optional<double>> keys;
        keys.reserve(m_rows.size());
        for (const Row& row : m_rows)
            keys.push_back(numberKeyOf(row, column));
        std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
            const std::optional<double>& a = keys[static_cast<size_t>(left)];
            const std::optional<double>& b = keys[static_cast<size_t>(right)];
            // An empty cell says "unknown", not "smallest": it stays at the bottom in both directions.
            if (!a || !b)
                return a.has_value() && !b.has_value();
            return descending ? *a > *b : *a < *b;
        });
    } else {
        std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
            const int result = CompareText(textsOf(m_rows[static_cast<size_t>(left)]).value(column),
                                           textsOf(m_rows[static_cast<size_t>(right)]).value(column));
            return descending ? result > 0 : result < 0;
        });
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newPosition(m_rows.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (size_t position = 0; position < order.size(); ++position) {
        newPosition[static_cast<size_t>(order[position])] = static_cast<int>(position);
        sorted.push_back(std::move(m_rows[static_cast<size_t>(order[position])]));
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newPosition[static_cast<size_t>(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TUserListModel::SetSortMark(int column, bool up)
{
    const int previous = m_markColumn;
    m_markColumn = column;
    m_markUp = up;
    if (previous >= 0)
        emit headerDataChanged(Qt::Horizontal, previous, previous);
    if (column >= 0)
        emit headerDataChanged(Qt::Horizontal, column, column);
}
