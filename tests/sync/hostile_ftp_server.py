"""An FTP server that misbehaves on purpose, for the session's limit tests.

Serves one client at a time on 127.0.0.1 and prints "PORT <n>" once it
listens. The mode says how it misbehaves:

  endless-reply   the greeting is a multi-line reply that never ends
  trickle         the greeting arrives one byte every two seconds
  huge-listing    a listing's data connection streams entries without end
  stall           a download's data connection opens and then sends nothing
  endless-index   a download's data connection streams bytes without end
  trickle-index   a download's data connection sends one byte a second
  third-party     in active mode the data connection comes from 127.0.0.2,
                  not from the server's own address, and carries foreign data

Run with the system interpreter: /usr/bin/python3 hostile_ftp_server.py MODE
"""

import socket
import sys
import threading
import time


def stream(data, chunk, times, pause):
    """Sends `chunk` `times` times, `pause` seconds apart, until the client
    hangs up; then closes the data connection."""
    try:
        for _ in range(times):
            data.sendall(chunk)
            if pause:
                time.sleep(pause)
    except OSError:
        pass
    data.close()


def serve(conn, mode):
    f = conn.makefile("rb")

    def send(text):
        conn.sendall(text.encode("latin-1") + b"\r\n")

    if mode == "endless-reply":
        send("220-welcome")
        line = ("220-" + "x" * 70 + "\r\n").encode()
        while True:
            conn.sendall(line * 100)
    if mode == "trickle":
        for b in b"220 slow server\r\n":
            conn.sendall(bytes([b]))
            time.sleep(2)
        return
    send("220 hostile test server")
    data_listener = None
    port_target = None
    while True:
        raw = f.readline()
        if not raw:
            return
        line = raw.decode("latin-1").strip()
        cmd, _, arg = line.partition(" ")
        cmd = cmd.upper()
        if cmd == "USER":
            send("331 password please")
        elif cmd == "PASS":
            send("230 logged in")
        elif cmd == "PWD":
            send('257 "/" is the current directory')
        elif cmd in ("CWD", "TYPE"):
            send("250 ok" if cmd == "CWD" else "200 ok")
        elif cmd == "PASV":
            data_listener = socket.socket()
            data_listener.bind(("127.0.0.1", 0))
            data_listener.listen(1)
            p = data_listener.getsockname()[1]
            send("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (p >> 8, p & 255))
        elif cmd == "PORT":
            parts = [int(x) for x in arg.split(",")]
            port_target = ("%d.%d.%d.%d" % tuple(parts[:4]), parts[4] * 256 + parts[5])
            send("200 port ok")
        elif cmd == "SIZE" and mode.endswith("-index"):
            send("213 99999999999")
        elif cmd == "SIZE":
            send("213 1000")
        elif cmd in ("LIST", "MLSD", "NLST", "RETR"):
            if port_target is not None:
                # Someone else reaches the client's listening port first.
                evil = socket.socket()
                evil.bind(("127.0.0.2", 0))
                try:
                    evil.connect(port_target)
                    send("150 here it comes")
                    evil.sendall(b"foreign data that must not be stored\r\n")
                    evil.close()
                    send("226 done")
                except OSError:
                    send("425 cannot open data connection")
                port_target = None
                continue
            send("150 here it comes")
            data, _ = data_listener.accept()
            if mode == "huge-listing":
                # about 400 MB when nothing stops it
                stream(data, b"-rw-r--r--   1 owner group  12 Jan 02  2020 file.txt\r\n" * 20000, 400, 0)
                send("226 done")
            elif mode == "endless-index" and cmd == "RETR":
                stream(data, b"x" * 65536, 100000, 0)  # about 6.5 GB
                send("226 done")
            elif mode == "trickle-index" and cmd == "RETR":
                stream(data, b"x", 100000, 1)
            elif mode == "stall":
                time.sleep(60)
                data.close()
            else:
                data.close()
                send("226 done")
        elif cmd == "QUIT":
            send("221 bye")
            return
        else:
            send("502 not here")


def main():
    mode = sys.argv[1]
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(5)
    sys.stdout.write("PORT %d\n" % listener.getsockname()[1])
    sys.stdout.flush()
    while True:
        conn, _ = listener.accept()

        def run(c=conn):
            try:
                serve(c, mode)
            except OSError:
                pass
            finally:
                c.close()

        threading.Thread(target=run, daemon=True).start()


if __name__ == "__main__":
    main()
