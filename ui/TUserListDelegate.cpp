#include "ui/TUserListDelegate.h"

#include "ui/TUserListModel.h"

QColor TUserListDelegate::DueSoonOnSelection(const QColor& highlight)
{
    return highlight.lightness() < 128 ? QColor(0xFF, 0xA0, 0xA0) : QColor(0xB0, 0x00, 0x00);
}

void TUserListDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The style draws selected text in the highlighted-text colour, which would drop the warning.
    if (!index.data(TUserListModel::DueSoonRole).toBool())
        return;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        option->palette.setColor(group, QPalette::HighlightedText,
                                 DueSoonOnSelection(option->palette.color(group, QPalette::Highlight)));
}
