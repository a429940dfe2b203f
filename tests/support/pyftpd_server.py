#!/usr/bin/python3
"""Runs pyftpdlib on loopback for the test fixture RealFtpServer.

Prints "ready <port>" on stdout once it listens, or "error: <why>" and exits 2.
Exits when its stdin closes, so it never outlives the test process.
Set CORVANE_FTPD_LOG=INFO (or DEBUG) to see the server's log on stderr.
"""

import argparse
import logging
import os
import sys
import threading


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--perm", default="elradfmwMT")
    parser.add_argument("--tls-certificate")
    parser.add_argument("--tls-key")
    # Faults of a TLS server for the client's tests: "plain-data" accepts PROT P
    # but opens plain data connections, "cut-data" closes data connections
    # without a TLS close, "late-transfer" takes up transfers late.
    parser.add_argument("--fault", default="")
    args = parser.parse_args()

    try:
        from pyftpdlib.authorizers import DummyAuthorizer
        from pyftpdlib.handlers import FTPHandler
        from pyftpdlib.servers import FTPServer
    except ImportError as e:
        print("error: %s cannot import pyftpdlib (%s)" % (sys.executable, e), flush=True)
        return 2

    logging.basicConfig(level=os.environ.get("CORVANE_FTPD_LOG", "WARNING").upper(),
                        format="pyftpd %(levelname)s %(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm=args.perm)

    base = FTPHandler
    if args.tls_certificate:
        try:
            from pyftpdlib.handlers import TLS_FTPHandler
        except ImportError as e:
            print("error: pyftpdlib has no TLS (python3-openssl: %s)" % e, flush=True)
            return 2
        base = TLS_FTPHandler

    class Handler(base):
        pass

    if args.tls_certificate:
        Handler.certfile = args.tls_certificate
        Handler.keyfile = args.tls_key
        Handler.tls_control_required = True
        Handler.tls_data_required = args.fault != "plain-data"
        if args.fault == "plain-data":
            def ftp_PROT(self, line):
                self._pbsz = True
                self.respond("200 Protection set to Private")
            Handler.ftp_PROT = ftp_PROT
        elif args.fault == "late-transfer":
            # Takes up RETR and STOR a moment late: a passive data connection
            # is accepted before its command.
            for name in ("ftp_RETR", "ftp_STOR"):
                def late(self, *a, _real=getattr(Handler, name), **k):
                    self.ioloop.call_later(0.3, _real, self, *a, **k)
                setattr(Handler, name, late)
        elif args.fault == "cut-data":
            class CutDTPHandler(Handler.dtp_handler):
                def _do_ssl_shutdown(self):
                    self._ssl_established = False
                    self.close()
            Handler.dtp_handler = CutDTPHandler

    Handler.authorizer = authorizer
    # A wrong password is answered at once; the default 3 s delay would only slow tests.
    Handler.auth_failed_timeout = 0

    try:
        server = FTPServer((args.host, args.port), Handler)
    except OSError as e:
        print("error: cannot listen on %s:%d: %s" % (args.host, args.port, e), flush=True)
        return 2

    def exit_when_parent_goes():
        sys.stdin.buffer.read()
        os._exit(0)

    threading.Thread(target=exit_when_parent_goes, daemon=True).start()

    print("ready %d" % server.address[1], flush=True)
    server.serve_forever(timeout=0.2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
