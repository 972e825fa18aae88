#!/usr/bin/env python3
"""pyftpdlib over explicit TLS for Fernhop's tests: one account with full rights on ROOT, the
control and data connections both required to be TLS (AUTH TLS, PROT P).

    tls_ftp_server.py --port PORT --root ROOT --user USER --password PASSWORD --cert PEM --key PEM
"""

import argparse

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    for name in ("--port", "--root", "--user", "--password", "--cert", "--key"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = TLS_FTPHandler
    handler.authorizer = authorizer
    handler.certfile = args.cert
    handler.keyfile = args.key
    handler.tls_control_required = True
    handler.tls_data_required = True
    server = FTPServer(("127.0.0.1", int(args.port)), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
