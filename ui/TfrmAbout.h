#pragma once

#include "core/ProgramVersion.h"

#include <QDialog>

class QLabel;
class QPushButton;

/// The about box: product name and version over a background picture, and a Close button.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    static inline const QString Version = ProgramVersion();

    explicit TfrmAbout(QWidget* parent = nullptr);

    QLabel* lbHeading = nullptr;
    QLabel* lbTitle = nullptr;
    QLabel* lbVersion = nullptr;
    QPushButton* btnClose = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QPixmap m_background;
};
