#pragma once

#include <QString>

class QWidget;

/// After a Test Login met a host key that differs from the recorded one: shows the recorded keys and
/// the presented one and asks whether to trust the new key, No being the default. On Yes the host's
/// old entries leave known_hosts, so that the next login records the key it meets; false when the
/// user said No or the file could not be changed (which is then shown).
bool TrustChangedHostKey(const QString& knownHostsPath, const QString& address, int port, const QString& presentedKey);
