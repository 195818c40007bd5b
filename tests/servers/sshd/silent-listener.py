#!/usr/bin/python3
"""Plays a host that does not answer, in one of two ways:

  silent-listener.py ADDRESS PORT              accepts TCP connections and never sends a byte
                                               (an SSH server that hangs)
  silent-listener.py --unanswered ADDRESS PORT listens but never accepts, with its one-place
                                               queue kept full, so a connect gets no answer at
                                               all (a host that drops packets)
"""

import socket
import sys
import time

unanswered = sys.argv[1] == "--unanswered"
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
server.listen(64)
held = []
while True:
    connection, _ = server.accept()
    # Keep the connection open; drop the oldest once many pile up.
    held.append(connection)
    if len(held) > 256:
        held.pop(0).close()
