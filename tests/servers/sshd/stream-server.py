#!/usr/bin/python3
"""A small SSH server for what OpenSSH cannot do: with a pseudo-terminal, OpenSSH sends all of a
command's output on the channel's main stream, so a host that writes to the extended (error)
stream is played here. Accounts (password only, no system accounts needed):

  vtdlg_stderr   prints the old-password prompt on the error stream only, waits for one line,
                 prints a failure on the error stream and exits 1
  vtdlg_streams  writes "out-1\\r\\n", then "err-1\\r\\n" on the error stream, then "out-2\\r\\n";
                 then echoes one input line back as "got <hex>\\r\\n" and exits 0
  vtdlg_errexit  prints a refusal on the error stream only and exits 1 at once
  vtdlg_drop     prints "passwd: Authentication token manipulation error\\r\\n", then drops the
                 TCP connection without closing the channel, as a host that goes down does

Usage: stream-server.py ADDRESS PORT HOST_KEY_FILE PASSWORD
"""

import socket
import sys
import threading
import time

import paramiko

ACCOUNTS = ("vtdlg_stderr", "vtdlg_streams", "vtdlg_errexit", "vtdlg_drop")


class Server(paramiko.ServerInterface):
    def __init__(self, password):
        self.password = password
        self.username = None
        self.exec_requested = threading.Event()

    def get_allowed_auths(self, username):
        return "password"

    def check_auth_password(self, username, password):
        if username in ACCOUNTS and password == self.password:
            self.username = username
            return paramiko.AUTH_SUCCESSFUL
        return paramiko.AUTH_FAILED

    def check_channel_request(self, kind, chanid):
        if kind == "session":
            return paramiko.OPEN_SUCCEEDED
        return paramiko.OPEN_FAILED_ADMINISTRATIVELY_PROHIBITED

    def check_channel_pty_request(self, channel, term, width, height, pixelwidth, pixelheight, modes):
        return True

    def check_channel_exec_request(self, channel, command):
        self.exec_requested.set()
        return True


def read_line(channel, limit_s=20.0):
    data = b""
    channel.settimeout(limit_s)
    try:
        while not (b"\r" in data or b"\n" in data):
            chunk = channel.recv(1024)
            if not chunk:
                break
            data += chunk
    except socket.timeout:
        pass
    return data


def play(channel, username):
    """Plays the account's dialog; returns its exit status, or None when the connection is gone."""
    if username == "vtdlg_errexit":
        channel.sendall_stderr(b"passwd: You may not view or modify password information for root.\r\n")
        return 1
    if username == "vtdlg_drop":
        channel.sendall(b"passwd: Authentication token manipulation error\r\n")
        time.sleep(0.3)
        channel.get_transport().sock.shutdown(socket.SHUT_RDWR)
        return None
    if username == "vtdlg_stderr":
        channel.sendall_stderr(b"Current password: ")
        read_line(channel)
        channel.sendall_stderr(b"\r\npasswd: Authentication token manipulation error\r\n")
        return 1
    channel.sendall(b"out-1\r\n")
    time.sleep(0.2)
    channel.sendall_stderr(b"err-1\r\n")
    time.sleep(0.2)
    channel.sendall(b"out-2\r\n")
    line = read_line(channel)
    channel.sendall(b"got " + line.hex().encode() + b"\r\n")
    return 0


def serve(client, host_key, password):
    transport = paramiko.Transport(client)
    try:
        transport.add_server_key(host_key)
        server = Server(password)
        transport.start_server(server=server)
        channel = transport.accept(30)
        if channel is None or not server.exec_requested.wait(30):
            return
        time.sleep(0.1)
        status = play(channel, server.username)
        if status is None:
            return
        channel.send_exit_status(status)
        channel.shutdown_write()
        time.sleep(0.2)
        channel.close()
    except Exception as error:  # one broken client must not stop the server
        print("stream-server: %s" % error, file=sys.stderr, flush=True)
    finally:
        transport.close()


def main():
    address, port, key_file, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    host_key = paramiko.Ed25519Key.from_private_key_file(key_file)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((address, port))
    listener.listen(64)
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client, host_key, password), daemon=True).start()


if __name__ == "__main__":
    main()
