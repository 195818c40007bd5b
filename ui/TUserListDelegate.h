#pragma once

#include <QColor>
#include <QStyledItemDelegate>

/// Draws the user list's cells; a due-soon "Passed Days" stays red on the selected row, in a shade
/// that reads on the selection colour.
class TUserListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    /// The red for due-soon text on a selection of colour highlight: light on a dark highlight, dark
    /// on a light one.
    static QColor DueSoonOnSelection(const QColor& highlight);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
