#!/usr/bin/python3
"""Plays a host that does not answer, in one of three ways:

  silent-listener.py ADDRESS PORT              accepts TCP connections and never sends a byte
                                               (an SSH server that hangs)
  silent-listener.py --unanswered ADDRESS PORT listens but never accepts, with its one-place
                                               queue kept full, so a connect gets no answer at
                                               all (a host that drops packets)
  silent-listener.py --flood ADDRESS PORT      accepts TCP connections and sends text lines
                                               without end (20 a second) and never its SSH
                                               version line, so data keeps arriving but no
                                               greeting does
"""

import socket
import sys
import threading
import time

unanswered = sys.argv[1] == "--unanswered"
flood = sys.argv[1] == "--flood"
address, port = sys.argv[-2], int(sys.argv[-1])
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind((address, port))
if unanswered:
    server.listen(0)
    # Linux drops further connection attempts once the accept queue is full.
    filler = socket.create_connection((address, port))
    while True:
        time.sleep(3600)


def flood_lines(connection):
    # Lines that an SSH client may skip before the version line (RFC 4253, 4.2); often enough that no
    # idle limit ever passes, slowly enough to cost nothing.
    number = 0
    try:
        while True:
            number += 1
            connection.sendall(b"Welcome; please wait for the service (line %d)\r\n" % number)
            time.sleep(0.05)
    except OSError:
        pass
    finally:
        connection.close()


server.listen(64)
held = []
while True:
    connection, _ = server.accept()
    if flood:
        threading.Thread(target=flood_lines, args=(connection,), daemon=True).start()
        continue
    # Keep the connection open; drop the oldest once many pile up.
    held.append(connection)
    if len(held) > 256:
        held.pop(0).close()
