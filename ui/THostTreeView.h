#pragma once

#include <QPoint>
#include <QTreeWidget>

class THostNode;

/// The host tree control: read-only, never collapsed, the root drawn in bold. It remembers where the
/// mouse was last pressed, whether the keys moved the current node since, and reports double clicks
/// anywhere in it.
class THostTreeView : public QTreeWidget
{
    Q_OBJECT
public:
    explicit THostTreeView(QWidget* parent = nullptr);

    /// Client point of the last mouse press, any button; (0, 0) until the first press.
    QPoint LastMousePress() const { return m_lastPress; }
    /// The selected node, or nullptr.
    THostNode* SelectedNode() const;
    /// The node at a client point, or nullptr.
    THostNode* NodeAt(const QPoint& point) const;
    /// The node a host command acts on: the one under the last mouse press, unless the keys moved the
    /// current node since (or the mouse never pressed), then the current node.
    THostNode* CommandNode() const;

signals:
    /// A double click on a node or on empty space.
    void treeDoubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPoint m_lastPress;
    bool m_mouseChoseLast = false;
};
