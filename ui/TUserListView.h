#pragma once

#include <QTableView>

class TUserListModel;

/// The user list control: a report view with check boxes, grid lines and whole-row selection over
/// a TUserListModel it owns. It reports header clicks, header right clicks, double clicks and every
/// selection change of a row; what they do is the main window's business.
class TUserListView : public QTableView
{
    Q_OBJECT
public:
    explicit TUserListView(QWidget* parent = nullptr);

    TUserListModel& Model() const { return *m_model; }
    /// The selected row, or -1.
    int SelectedRow() const;
    /// Makes row the selected (and current) row; -1 clears the selection.
    void SelectRow(int row);
    /// Raises the select-item notification for the selected row (or none) as "deselected".
    void NotifySelectedItem();

signals:
    void columnClicked(int column);
    void columnRightClicked(int column);
    /// A row became selected or lost the selection; row -1 when there is none.
    void selectItem(int row, bool selected);
    /// A double click anywhere in the list, rows or empty space.
    void listDoubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void onSelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    TUserListModel* m_model;
};
