#include "ui/THostTreeView.h"

#include "ui/THostNode.h"

#include <QKeyEvent>
#include <QMouseEvent>

THostTreeView::THostTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("tvHosts"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(23);
    setIconSize(QSize(18, 18));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setFrameShape(QFrame::NoFrame);
    setStatusTip(QStringLiteral("Hosts listing"));
    // The tree is always fully expanded: a node that collapses anyway is opened again at once.
    connect(this, &QTreeWidget::itemCollapsed, this, [](QTreeWidgetItem* item) { item->setExpanded(true); });
}

namespace {
THostNode* AsNode(QTreeWidgetItem* item)
{
    return item && item->type() == THostNode::NodeType ? static_cast<THostNode*>(item) : nullptr;
}
} // namespace

THostNode* THostTreeView::SelectedNode() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : AsNode(selected.first());
}

THostNode* THostTreeView::NodeAt(const QPoint& point) const
{
    return AsNode(itemAt(point));
}

THostNode* THostTreeView::CommandNode() const
{
    return m_mouseChoseLast ? NodeAt(m_lastPress) : AsNode(currentItem());
}

void THostTreeView::mousePressEvent(QMouseEvent* event)
{
    m_lastPress = event->position().toPoint();
    m_mouseChoseLast = true;
    // Only a left press chooses a host: a selection change reloads the user list and drops its check marks.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    if (event->modifiers() & Qt::ControlModifier) {
        // Ctrl would deselect the chosen host; on another host it chooses that one as a plain press does.
        const QTreeWidgetItem* item = itemAt(m_lastPress);
        if (!item || item->isSelected()) {
            event->accept();
            return;
        }
    }
    QTreeWidget::mousePressEvent(event);
}

void THostTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_lastPress = event->position().toPoint();
    m_mouseChoseLast = true;
    QTreeWidget::mouseDoubleClickEvent(event);
    emit treeDoubleClicked();
}

void THostTreeView::keyPressEvent(QKeyEvent* event)
{
    const QTreeWidgetItem* before = currentItem();
    QTreeWidget::keyPressEvent(event);
    // A node reached with the keys is the one the user means now; the old mouse point is stale.
    if (currentItem() != before)
        m_mouseChoseLast = false;
}
