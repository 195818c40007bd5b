#include "engine/TLoginProbe.h"

#include "engine/TRemoteEngine.h"

TLoginProbe::~TLoginProbe()
{
    if (m_run)
        m_run->RequestCancel();
    join();
}

void TLoginProbe::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TLoginProbe::Cancel()
{
    if (m_run)
        m_run->RequestCancel();
}

bool TLoginProbe::Start(TLoginRequest request, QObject* receiver, Done done, ProgressCallback progress)
{
    if (Running())
        return false;
    join();
    m_run = std::make_shared<TRunContext>();
    if (progress)
        m_run->Progress = [receiver, progress](const QString& text) {
            QMetaObject::invokeMethod(
                receiver, [progress, text] { progress(text); }, Qt::QueuedConnection);
        };
    auto finished = std::make_shared<std::atomic<bool>>(false);
    m_running = finished;
    m_thread = std::thread([run = m_run, finished, receiver, request = std::move(request), done = std::move(done)] {
        TActionStaus status;
        {
            TRemoteEngine engine(*run);
            engine.SSHLogin(request, status);
        }
        // Queued to the receiver: it runs there, and never once the receiver is deleted.
        QMetaObject::invokeMethod(
            receiver,
            [finished, done, status] {
                finished->store(true);
                done(status);
            },
            Qt::QueuedConnection);
    });
    return true;
}
