#pragma once

class QWidget;
struct TActionStaus;

/// Shows the outcome of an editor's Test Login beside its button until dismissed: the error icon for
/// a failed connection or login, the information icon for a successful one. Other codes show nothing.
void ShowLoginTestOutcome(QWidget* testButton, const TActionStaus& status);
