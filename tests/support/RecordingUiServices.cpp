#include "tests/support/RecordingUiServices.h"

#include <QCoreApplication>

RecordingUiServices::RecordingUiServices()
{
    InstallUiServices(this);
}

RecordingUiServices::~RecordingUiServices()
{
    InstallUiServices(nullptr);
}

int RecordingUiServices::messageBox(const QString& text, const QString& caption, int style)
{
    m_shown.append({QStringLiteral("msgbox"), text, caption, style});
    all = m_shown;
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return style == StyleConfirm ? ButtonYes : ButtonOk;
}

void RecordingUiServices::showRunLog(const QString& text, const QString& caption)
{
    m_shown.append({QStringLiteral("runlog"), text, caption});
    all = m_shown;
}

void RecordingUiServices::setStatusText(const QString& text)
{
    m_shown.append({QStringLiteral("status"), text, {}});
    all = m_shown;
}

void RecordingUiServices::showBalloonTip(QObject* control, const QString& text, BalloonIcon icon, int durationMs)
{
    Shown s{QStringLiteral("balloon"), text, {}};
    s.control = control;
    s.controlName = control ? control->objectName() : QString();
    s.icon = icon;
    s.durationMs = durationMs;
    m_shown.append(s);
    all = m_shown;
}

void RecordingUiServices::processEvents()
{
    ++pumps;
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

QList<RecordingUiServices::Shown> RecordingUiServices::shown(const QString& kind) const
{
    QList<Shown> result;
    for (const Shown& s : m_shown)
        if (s.kind == kind)
            result.append(s);
    return result;
}
