#include "ui/TUserListView.h"

#include "ui/TUserListDelegate.h"
#include "ui/TUserListModel.h"

#include <QHeaderView>
#include <QMouseEvent>

#include <set>

namespace {
std::set<int> RowsOf(const QItemSelection& selection)
{
    std::set<int> rows;
    for (const QItemSelectionRange& range : selection)
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.insert(row);
    return rows;
}
} // namespace

TUserListView::TUserListView(QWidget* parent) : QTableView(parent), m_model(new TUserListModel(this))
{
    setObjectName(QStringLiteral("lvUsers"));
    setModel(m_model);
    setItemDelegate(new TUserListDelegate(this));
    setFrameShape(QFrame::NoFrame);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setIconSize(QSize(18, 18));
    setStatusTip(QStringLiteral("User listing"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(20);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(false);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(columns, &QHeaderView::sectionClicked, this, &TUserListView::columnClicked);
    connect(columns, &QHeaderView::customContextMenuRequested, this, [this, columns](const QPoint& point) {
        const int column = columns->logicalIndexAt(point);
        if (column >= 0)
            emit columnRightClicked(column);
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TUserListView::onSelectionChanged);
}

int TUserListView::SelectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TUserListView::SelectRow(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clearSelection();
        return;
    }
    selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TUserListView::NotifySelectedItem()
{
    emit selectItem(SelectedRow(), false);
}

void TUserListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    emit listDoubleClicked();
}

void TUserListView::onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    // One notification per row, the row that lost the selection first, as the list reports them.
    for (int row : RowsOf(deselected))
        emit selectItem(row, false);
    for (int row : RowsOf(selected))
        emit selectItem(row, true);
}
