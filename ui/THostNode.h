#pragma once

#include "core/Records.h"

#include <QTreeWidgetItem>

#include <memory>

/// A node of the host tree. A host node owns a copy of its host's record; the root owns none.
class THostNode : public QTreeWidgetItem
{
public:
    static constexpr int NodeType = QTreeWidgetItem::UserType + 1;

    THostNode() : QTreeWidgetItem(NodeType) {}

    /// The attached record, or nullptr.
    const THost* Host() const { return m_host.get(); }
    /// Replaces the attached record by a copy of host.
    void AttachHost(const THost& host) { m_host = std::make_unique<THost>(host); }
    /// Releases the attached record, if any.
    void ReleaseHost() { m_host.reset(); }

private:
    std::unique_ptr<THost> m_host;
};
