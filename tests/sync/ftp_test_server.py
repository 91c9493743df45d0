"""A throw-away FTP server for the FTP session tests.

Listens on 127.0.0.1 at a free port, serves one user from a given root
directory and prints "PORT <n>" on standard output once it accepts
connections. Every command it receives is appended to the log file (the
password replaced by "***"), so tests can check which transfer type and
which data-connection commands the client sent.

With --tls-cert and --tls-key it speaks FTPS (explicit TLS: AUTH TLS) and
requires TLS on the control and the data connections.

Run with the system interpreter: /usr/bin/python3 ftp_test_server.py
    --root DIR --user NAME --password PW --log FILE [--no-mlst]
    [--tls-cert PEM --tls-key PEM] [--case-insensitive] [--no-size]
    [--truncate-stor] [--drop-stor NAME] [--fail-stor NAME]

With --case-insensitive it finds names without regard to letter case and
keeps the case a name was created or renamed with, as the file systems of
Windows servers do.
"""

import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--no-mlst", action="store_true",
                        help="offer only LIST listings (no MLSD/MLST), like older servers")
    parser.add_argument("--drop-after-rnto", metavar="NAME",
                        help="once, carry out a rename to NAME and drop the connection before the reply")
    parser.add_argument("--fail-retr", metavar="NAME",
                        help="answer every download of NAME with 451, a failure that is not 'no such file'")
    parser.add_argument("--case-insensitive", action="store_true",
                        help="find names without regard to case, keeping the case they were given")
    parser.add_argument("--no-size", action="store_true",
                        help="offer no SIZE command, like some older servers")
    parser.add_argument("--truncate-stor", action="store_true",
                        help="keep only the first half of every uploaded file, and answer 226 all the same")
    parser.add_argument("--drop-stor", metavar="NAME",
                        help="once, drop both connections while an upload whose name contains NAME arrives")
    parser.add_argument("--fail-stor", metavar="NAME",
                        help="refuse every upload whose name contains NAME with 553")
    parser.add_argument("--tls-cert")
    parser.add_argument("--tls-key")
    args = parser.parse_args()

    logging.basicConfig(level=logging.CRITICAL)
    log = open(args.log, "a", encoding="utf-8", buffering=1)

    base = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class HandshakingDTPHandler(TLS_DTPHandler):
            # libcurl starts the data connection's TLS handshake as soon as
            # it connects, before it sends STOR or RETR; pyftpdlib's data
            # handler takes early input for a hang-up and closes. Keep it
            # reading until the handshake is done.
            def readable(self):
                if self._ssl_requested and not self._ssl_established:
                    return True
                return super().readable()

        base = TLS_FTPHandler
        base.dtp_handler = HandshakingDTPHandler
        base.certfile = args.tls_cert
        base.keyfile = args.tls_key
        base.tls_control_required = True
        base.tls_data_required = True

    dropped = []
    dropped_stor = []

    class DroppingDTPHandler(base.dtp_handler):
        def handle_read(self):
            super().handle_read()
            name = getattr(self.cmd_channel, "storing", "") or ""
            if (args.drop_stor and not dropped_stor and self.receive and self.tot_bytes_received > 0
                    and args.drop_stor in os.path.basename(name)):
                dropped_stor.append(name)
                log.write("DROPPED during STOR\n")
                self.cmd_channel.close()
                self.close()

        # pyftpdlib's loop calls handle_read_event, bound to the base's method.
        handle_read_event = handle_read
    raw_rnto = []

    class CaseInsensitiveFS(AbstractedFS):
        def ftp2fs(self, ftppath):
            real = super().ftp2fs(ftppath)
            rel = os.path.relpath(real, self.root)
            if rel == "." or rel.startswith(".."):
                return real
            current = self.root
            for part in rel.split(os.sep):
                try:
                    names = os.listdir(current)
                except OSError:
                    names = []
                if part not in names:
                    part = next((n for n in names if n.lower() == part.lower()), part)
                current = os.path.join(current, part)
            return current

        def rename(self, src, dst):
            # The target takes the case it was given, also when it replaces
            # an entry whose name differs only in case (or is that entry).
            given = os.path.basename(raw_rnto[-1]) if raw_rnto else os.path.basename(dst)
            wanted = os.path.join(os.path.dirname(dst), given)
            if os.path.exists(dst) and not os.path.samefile(src, dst):
                if os.path.isdir(dst):
                    os.rmdir(dst)
                else:
                    os.remove(dst)
            os.rename(src, wanted)

    class LoggingHandler(base):
        def pre_process_command(self, line, cmd, arg):
            shown = "PASS ***" if cmd == "PASS" else line
            if cmd == "RNTO":
                raw_rnto.append(arg)
            log.write(shown + "\n")
            return super().pre_process_command(line, cmd, arg)

        def ftp_RNTO(self, path):
            if (args.drop_after_rnto and not dropped and self._rnfr
                    and os.path.basename(path) == args.drop_after_rnto):
                dropped.append(path)
                source, self._rnfr = self._rnfr, None
                os.rename(source, path)
                log.write("DROPPED after RNTO\n")
                self.close()
                return
            return super().ftp_RNTO(path)

        def ftp_STOR(self, file, mode="w"):
            self.storing = file
            if args.fail_stor and args.fail_stor in os.path.basename(file):
                self.respond("553 Could not create file (refused by the test server).")
                return
            return super().ftp_STOR(file, mode)

        def on_file_received(self, file):
            if args.truncate_stor:
                os.truncate(file, os.path.getsize(file) // 2)

        def ftp_RETR(self, file):
            if args.fail_retr and os.path.basename(file) == args.fail_retr:
                self.respond("451 Requested action aborted: local error in processing.")
                return
            return super().ftp_RETR(file)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    if args.no_mlst:
        LoggingHandler.proto_cmds = {k: v for k, v in base.proto_cmds.items()
                                     if k not in ("MLSD", "MLST")}
    LoggingHandler.authorizer = authorizer
    if args.drop_stor:
        LoggingHandler.dtp_handler = DroppingDTPHandler
    if args.no_size:
        LoggingHandler.proto_cmds = {k: v for k, v in LoggingHandler.proto_cmds.items() if k != "SIZE"}
    if args.case_insensitive:
        LoggingHandler.abstracted_fs = CaseInsensitiveFS
    LoggingHandler.banner = "loftmark test server ready."
    LoggingHandler.permit_foreign_addresses = False
    # Answer a wrong password at once instead of after the usual delay.
    LoggingHandler.auth_failed_timeout = 0.05

    server = FTPServer(("127.0.0.1", 0), LoggingHandler)
    port = server.socket.getsockname()[1]
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()
    try:
        server.serve_forever(timeout=0.2)
    finally:
        server.close_all()


if __name__ == "__main__":
    main()
