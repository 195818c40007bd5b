#pragma once

#include <QByteArray>
#include <QString>

#include <cstring>
#include <utility>

/// Holds secret bytes (a password) and wipes them when it is destroyed or reassigned.
/// Use it wherever a plain password lives longer than one expression.
class SecretBuffer
{
public:
    SecretBuffer() = default;
    explicit SecretBuffer(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    explicit SecretBuffer(const QString& text) : m_bytes(text.toUtf8()) {}
    SecretBuffer(const SecretBuffer& other) : m_bytes(other.m_bytes) { m_bytes.detach(); }
    SecretBuffer(SecretBuffer&& other) noexcept : m_bytes(std::move(other.m_bytes)) {}
    SecretBuffer& operator=(const SecretBuffer& other)
    {
        if (this != &other) {
            wipe();
            m_bytes = other.m_bytes;
            m_bytes.detach();
        }
        return *this;
    }
    SecretBuffer& operator=(SecretBuffer&& other) noexcept
    {
        if (this != &other) {
            wipe();
            m_bytes = std::move(other.m_bytes);
        }
        return *this;
    }
    ~SecretBuffer() { wipe(); }

    const QByteArray& bytes() const { return m_bytes; }
    /// NUL-terminated view for C APIs; valid while this buffer lives unchanged.
    const char* c_str() const { return m_bytes.constData(); }
    qsizetype size() const { return m_bytes.size(); }
    bool isEmpty() const { return m_bytes.isEmpty(); }

    /// Overwrites the bytes with zeros and empties the buffer.
    void wipe()
    {
        if (!m_bytes.isEmpty() && !m_bytes.isDetached()) {
            // Shared data belongs to another owner too; only drop our reference.
            m_bytes = QByteArray();
            return;
        }
        if (!m_bytes.isEmpty()) {
            volatile char* p = m_bytes.data();
            for (qsizetype i = 0; i < m_bytes.size(); ++i)
                p[i] = 0;
        }
        m_bytes = QByteArray();
    }

private:
    QByteArray m_bytes;
};
