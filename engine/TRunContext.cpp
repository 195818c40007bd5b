#include "engine/TRunContext.h"

TRunContext::TRunContext(std::shared_ptr<CancelSignal> cancel) : m_cancel(std::move(cancel))
{
    if (!m_cancel)
        m_cancel = std::make_shared<CancelSignal>();
}

QString TRunContext::GetTranscriptText() const
{
    QString text;
    for (const QString& line : Transcript)
        text += line + QStringLiteral("\r\n");
    return text;
}

void TRunContext::ReportProgress(const QString& text) const
{
    if (Progress)
        Progress(text);
}
