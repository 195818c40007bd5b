#!/usr/bin/python3
"""Accepts TCP connections and never sends a byte: a host whose SSH server hangs."""

import socket
import sys

address, port = sys.argv[1], int(sys.argv[2])
server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind((address, port))
server.listen(64)
held = []
while True:
    connection, _ = server.accept()
    # Keep the connection open; drop the oldest once many pile up.
    held.append(connection)
    if len(held) > 256:
        held.pop(0).close()
