#pragma once

#include "core/Records.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

/// The rows of the user list: each row owns a copy of its user's record, the seven texts it shows
/// and its check box. Colours, pictures and the "Passed Days" font follow the row's position and
/// texts, as the list draws them.
class TUserListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int ColumnCount = 7;
    static constexpr int PassedDaysColumn = 3;
    static constexpr int ValidPeriodColumn = 2;
    static constexpr int LastChangeColumn = 6;
    /// True on a "Passed Days" cell whose password is due soon (drawn red).
    static constexpr int DueSoonRole = Qt::UserRole + 1;

    explicit TUserListModel(QObject* parent = nullptr);
    ~TUserListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Appends an empty, unchecked row without a record and returns its index.
    int AppendRow();
    /// Appends many bound rows at once (one insertion for all), their texts counted against now.
    void AppendUsers(QList<TUser>&& users, const QDateTime& now);
    /// Shows user in row, clears its check box and replaces the row's record copy.
    void BindUser(int row, const TUser& user, const QDateTime& now);
    /// The row's record, or nullptr when it has none (or row is out of range).
    const TUser* UserAt(int row) const;
    /// Releases the row's record copy; deletes the row too when deleteRow is true.
    void FreeUser(int row, bool deleteRow);
    /// Releases every record and deletes every row.
    void Clear();

    /// The text of a cell as shown (column 0 is the login).
    QString Text(int row, int column) const;

    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    /// Every check box set to value, or each inverted when invert is true.
    void SetAllChecks(bool invert, bool value);
    /// Number of checked rows (0 when none).
    int CheckedRows() const { return m_checked; }

    /// Sorts all rows by column, descending when asked: "Valid Period" and "Passed Days" as numbers,
    /// "Last Change Time" by time, the others by their texts as shown. Empty numbers and times go
    /// last either way. Rows with equal keys keep their order.
    void SortByColumn(int column, bool descending);
    /// The header picture of the sort mark: on column, pointing up or down; column -1 removes it.
    void SetSortMark(int column, bool up);
    int SortMarkColumn() const { return m_markColumn; }
    bool SortMarkUp() const { return m_markUp; }

    /// The list's text comparison: only the ASCII letters are folded, everything else compares by
    /// value, and a prefix sorts first. Negative, zero or positive.
    static int CompareText(const QString& a, const QString& b);

    /// True for the columns that sort by a number (or time) rather than by their text.
    static bool SortsByNumber(int column);

signals:
    /// A check box changed (also after SetAllChecks, once for all rows).
    void checksChanged();

private:
    struct Row
    {
        std::unique_ptr<TUser> user;
        QDateTime boundAt;         ///< the moment the Passed Days are counted against
        mutable QStringList texts; ///< made on first use: loading many rows shows only a few
        bool checked = false;
    };

    void setCheckedNoSignal(Row& row, bool checked);
    const QStringList& textsOf(const Row& row) const;
    bool dueSoon(const Row& row) const;
    /// The row's sort key in a number column; empty when the cell shows nothing.
    std::optional<double> numberKeyOf(const Row& row, int column) const;

    std::vector<Row> m_rows;
    int m_checked = 0;
    int m_markColumn = -1;
    bool m_markUp = false;
    QIcon m_sortDown;
    QIcon m_sortUp;
    QIcon m_personPink;
    QIcon m_personGreen;
};
