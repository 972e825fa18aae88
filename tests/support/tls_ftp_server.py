#!/usr/bin/env python3
"""pyftpdlib over explicit TLS for Fernhop's tests: one account with full rights on ROOT, the
control and data connections both required to be TLS (AUTH TLS, PROT P).

    tls_ftp_server.py --port PORT --root ROOT --user USER --password PASSWORD --cert PEM --key PEM
                      [--data-cert PEM --data-key PEM] [--hold-data-reply] [--tls12]
                      [--no-data-close-notify] [--after-auth TEXT] [--ciphers LIST]

The options make it a hostile or careless server:
    --data-cert, --data-key  data connections show this certificate, not the control connection's
    --hold-data-reply        the 1xx reply to a transfer command on a data connection still in its
                             handshake goes out the moment that handshake is done
    --tls12                  TLS 1.2 at most
    --no-data-close-notify   data connections end without TLS close_notify, as a cut would
    --after-auth TEXT        TEXT follows the 234 reply to AUTH in the same segment, in clear
    --ciphers LIST           the TLS 1.2 cipher suites it takes (OpenSSL's names)
"""

import argparse

from OpenSSL import SSL
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer


def make_context(cert, key, tls12, ciphers=None):
    context = SSL.Context(SSL.TLS_SERVER_METHOD)
    context.use_certificate_chain_file(cert)
    context.use_privatekey_file(key)
    if tls12:
        context.set_max_proto_version(SSL.TLS1_2_VERSION)
    if ciphers:
        context.set_cipher_list(ciphers.encode())
    return context


def main():
    parser = argparse.ArgumentParser()
    for name in ("--port", "--root", "--user", "--password", "--cert", "--key"):
        parser.add_argument(name, required=True)
    parser.add_argument("--data-cert")
    parser.add_argument("--data-key")
    parser.add_argument("--hold-data-reply", action="store_true")
    parser.add_argument("--tls12", action="store_true")
    parser.add_argument("--no-data-close-notify", action="store_true")
    parser.add_argument("--after-auth")
    parser.add_argument("--ciphers")
    args = parser.parse_args()

    data_context = None
    if args.data_cert:
        data_context = make_context(args.data_cert, args.data_key or args.data_cert, args.tls12)

    class DataHandler(TLS_DTPHandler):
        def secure_connection(self, ssl_context):
            super().secure_connection(data_context or ssl_context)

        def handle_ssl_established(self):
            held = getattr(self.cmd_channel, "held_reply", None)
            if held:
                self.cmd_channel.held_reply = None
                TLS_FTPHandler.respond(self.cmd_channel, held)

        def close(self):
            if args.no_data_close_notify:
                self._error = True  # pyftpdlib then closes without its TLS shutdown
            super().close()

    class Handler(TLS_FTPHandler):
        dtp_handler = DataHandler
        held_reply = None

        def ftp_AUTH(self, line):
            if args.after_auth is None:
                return super().ftp_AUTH(line)
            self.socket.sendall(("234 AUTH TLS successful.\r\n" + args.after_auth).encode())
            self.secure_connection(self.ssl_context)
            return None

        def respond(self, resp, logfun=None):
            channel = self.data_channel
            if (args.hold_data_reply and resp[:1] == "1" and channel is not None
                    and getattr(channel, "_ssl_accepting", False)):
                self.held_reply = resp
                return
            if logfun is None:
                super().respond(resp)
            else:
                super().respond(resp, logfun)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = Handler
    handler.authorizer = authorizer
    handler.certfile = args.cert
    handler.keyfile = args.key
    handler.ssl_context = make_context(args.cert, args.key, args.tls12, args.ciphers)
    handler.tls_control_required = True
    handler.tls_data_required = True
    server = FTPServer(("127.0.0.1", int(args.port)), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
