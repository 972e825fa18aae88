#!/usr/bin/env python3
"""A scripted FTP server for Fernhop's protocol tests.

It listens on 127.0.0.1 (or the --host address, "::1") on a port the kernel picks, plays the replies of a JSON script and
records every command line it receives. The C++ wrapper (FtpServers.h) starts it as

    scripted_ftp_server.py --script SCRIPT.json --workdir DIR [--host ADDRESS]

and reads back what it leaves in DIR:

    port             the listening port, written once the server accepts connections
    commands.log     every command line received, in order, one per line, exactly as sent
                     (without the line end); a command is logged before its reply is sent
    connections.log  one line per accepted control connection
    uploads/         the bodies received by "receive" steps, one file per name (hex of the name)

Script format
-------------
    {
      "greeting":  STEP,            default: "220 Fernhop scripted server ready."
      "rules":     [RULE, ...],     tried in order; the first that matches and has uses left wins
      "unmatched": STEP             default: "502 Command not implemented."
    }

A STEP is a string (one reply line), a list of strings (reply lines), or an object:

    "reply":    "line" or ["line", ...]  lines, each sent with CR LF, in one write
    "raw":      "text"                   sent exactly as given (no CR LF added)
    "chunks":   ["text", ...]            sent as separate writes, exactly as given
    "delay_ms": N                        pause before the reply and before each chunk
    "action":   "pasv" | "port" | "send" | "receive" | "grow" | "flood" | "stall"
    "data":     "text" or ["line", ...]  body of a "send" (a list: each line with CR LF)
    "data_base64": "..."                 binary body of a "send"
    "store_as": "name"                   upload name of a "receive" (default "{arg}")
    "then":     "line" or ["line", ...]  reply lines after the data transfer
    "then_delay_ms": N                   pause between the data connection's close and "then"
    "close":    true                     close the control connection after everything
    "stall_ms": N                        how long a "stall" holds the data connection

A RULE is a STEP object with "match" (a Python regular expression searched in the command line)
and optionally "times" (how often it may fire, counted over all connections; default unlimited).

Text may hold three place holders: {arg} (the command's argument, the text after the first space),
{pasv} (h1,h2,h3,h4,p1,p2 of the data listener opened by a "pasv" action) and {port} (that
listener's port alone, for an EPSV answer: "229 Extended Passive Mode (|||{port}|)").

Actions:
    pasv     open a data listener first; default reply "227 Entering Passive Mode ({pasv})."
    port     remember the PORT (or EPRT) argument for the next transfer; default reply
             "200 PORT command ok."
    send     after the reply, open the data connection (accept on the PASV listener, or connect to
             the PORT address), send the body, close it; defaults: reply "150 Opening data
             connection.", then "226 Transfer complete."
    receive  like send, but read the data connection to its end and store the body
    grow     after the reply, send "x" without any line end, forever, until the peer goes away
    flood    like send, but send the body again and again until the peer closes the data
             connection; then "then" (default "226 Transfer complete.")
    stall    like send, but after the body hold the data connection open, reading nothing, for
             "stall_ms" (default 10000), then close it and send "then"
If a data connection cannot be made, "425 Can't open data connection." replaces "then".
Text is sent as UTF-8. Without "reply", "raw" or "chunks" (and outside the defaults above) a step
sends nothing. The server runs until it receives SIGTERM.
"""

import argparse
import base64
import json
import os
import re
import signal
import socket
import sys
import threading
import time

DATA_TIMEOUT_SECONDS = 10.0
STEP_KEYS = {"reply", "raw", "chunks", "delay_ms", "action", "data", "data_base64",
             "store_as", "then", "then_delay_ms", "close", "stall_ms"}
RULE_KEYS = STEP_KEYS | {"match", "times"}
ACTIONS = {None, "pasv", "port", "send", "receive", "grow", "flood", "stall"}
DATA_ACTIONS = ("send", "receive", "flood", "stall")
DEFAULT_REPLIES = {
    "pasv": ["227 Entering Passive Mode ({pasv})."],
    "port": ["200 PORT command ok."],
    "send": ["150 Opening data connection."],
    "receive": ["150 Opening data connection."],
    "flood": ["150 Opening data connection."],
    "stall": ["150 Opening data connection."],
}
DEFAULT_THEN = ["226 Transfer complete."]


def lines_of(value, where):
    if isinstance(value, str):
        return [value]
    if isinstance(value, list) and all(isinstance(v, str) for v in value):
        return value
    raise ValueError(f"{where}: expected a string or a list of strings")


class Step:
    """One scripted answer: the reply, an optional action, the closing reply, maybe a close."""

    def __init__(self, entry, where, keys=STEP_KEYS):
        if isinstance(entry, (str, list)):
            entry = {"reply": entry}
        if not isinstance(entry, dict):
            raise ValueError(f"{where}: expected a string, a list or an object")
        unknown = set(entry) - keys
        if unknown:
            raise ValueError(f"{where}: unknown keys {sorted(unknown)}")
        self.action = entry.get("action")
        if self.action not in ACTIONS:
            raise ValueError(f"{where}: unknown action {self.action!r}")
        given = [k for k in ("reply", "raw", "chunks") if k in entry]
        if len(given) > 1:
            raise ValueError(f"{where}: use only one of reply, raw, chunks")
        if "reply" in entry:
            self.pieces = ["".join(line + "\r\n" for line in lines_of(entry["reply"], where))]
        elif "raw" in entry:
            if not isinstance(entry["raw"], str):
                raise ValueError(f"{where}: raw is a string")
            self.pieces = [entry["raw"]]
        elif "chunks" in entry:
            self.pieces = lines_of(entry["chunks"], where)
        else:
            default = DEFAULT_REPLIES.get(self.action, [])
            self.pieces = ["".join(line + "\r\n" for line in default)] if default else []
        self.delay = float(entry.get("delay_ms", 0)) / 1000.0
        if "data_base64" in entry:
            self.data = base64.b64decode(entry["data_base64"])
        elif isinstance(entry.get("data"), list):
            self.data = "".join(line + "\r\n" for line in lines_of(entry["data"], where)).encode()
        else:
            self.data = str(entry.get("data", "")).encode()
        self.store_as = entry.get("store_as", "{arg}")
        if "then" in entry:
            self.then = lines_of(entry["then"], where)
        else:
            self.then = DEFAULT_THEN if self.action in DATA_ACTIONS else []
        self.close = bool(entry.get("close", False))
        self.then_delay = float(entry.get("then_delay_ms", 0)) / 1000.0
        self.stall = float(entry.get("stall_ms", 10000)) / 1000.0


class Rule(Step):
    def __init__(self, entry, where):
        if not isinstance(entry, dict) or not isinstance(entry.get("match"), str):
            raise ValueError(f"{where}: a rule is an object with a \"match\" regex")
        super().__init__(entry, where, RULE_KEYS)
        self.pattern = re.compile(entry["match"])
        self.times_left = entry.get("times")


class Script:
    def __init__(self, entry):
        if not isinstance(entry, dict):
            raise ValueError("the script is a JSON object")
        unknown = set(entry) - {"greeting", "rules", "unmatched"}
        if unknown:
            raise ValueError(f"script: unknown keys {sorted(unknown)}")
        self.greeting = Step(entry.get("greeting", "220 Fernhop scripted server ready."), "greeting")
        self.unmatched = Step(entry.get("unmatched", "502 Command not implemented."), "unmatched")
        self.rules = [Rule(r, f"rule {i}") for i, r in enumerate(entry.get("rules", []))]
        self.lock = threading.Lock()

    def step_for(self, command):
        with self.lock:
            for rule in self.rules:
                if rule.times_left is not None and rule.times_left <= 0:
                    continue
                if rule.pattern.search(command):
                    if rule.times_left is not None:
                        rule.times_left -= 1
                    return rule
        return self.unmatched


class Recorder:
    """Writes the command and connection logs; unbuffered so a reader sees whole lines."""

    def __init__(self, workdir):
        self.lock = threading.Lock()
        self.commands = open(os.path.join(workdir, "commands.log"), "ab", buffering=0)
        self.connections = open(os.path.join(workdir, "connections.log"), "ab", buffering=0)
        self.uploads = os.path.join(workdir, "uploads")
        os.makedirs(self.uploads, exist_ok=True)

    def command(self, line):
        with self.lock:
            self.commands.write(line + b"\n")

    def connection(self):
        with self.lock:
            self.connections.write(b"+\n")

    def upload(self, name, body):
        # Hex names keep any upload name (slashes, dots, spaces) inside the uploads folder.
        path = os.path.join(self.uploads, name.encode("utf-8", "surrogateescape").hex())
        with open(path + ".part", "wb") as f:
            f.write(body)
        os.replace(path + ".part", path)


def argument_of(command):
    parts = command.split(" ", 1)
    return parts[1] if len(parts) > 1 else ""


def parse_port_argument(arg):
    arg = arg.strip()
    if arg and not arg[0].isdigit():  # EPRT: |family|address|port|
        fields = arg.split(arg[0])
        if len(fields) != 5 or fields[1] not in ("1", "2") or not 0 < int(fields[3]) < 65536:
            raise ValueError(arg)
        return fields[2], int(fields[3])
    numbers = [int(n) for n in arg.split(",")]
    if len(numbers) != 6 or not all(0 <= n <= 255 for n in numbers):
        raise ValueError(arg)
    return ".".join(map(str, numbers[:4])), numbers[4] * 256 + numbers[5]


class Session(threading.Thread):
    def __init__(self, conn, script, recorder):
        super().__init__(daemon=True)
        self.conn = conn
        self.script = script
        self.recorder = recorder
        self.pasv_listener = None
        self.port_address = None
        self.pasv_text = ""
        self.pasv_port = ""

    def run(self):
        try:
            if not self.perform(self.script.greeting, ""):
                return
            pending = b""
            while True:
                received = self.conn.recv(65536)
                if not received:
                    return
                pending += received
                while b"\n" in pending:
                    line, pending = pending.split(b"\n", 1)
                    if line.endswith(b"\r"):
                        line = line[:-1]
                    self.recorder.command(line)
                    command = line.decode("utf-8", "surrogateescape")
                    if not self.perform(self.script.step_for(command), argument_of(command)):
                        return
        except OSError:
            pass
        finally:
            self.close_data_listener()
            self.conn.close()

    def expand(self, text, arg):
        text = text.replace("{arg}", arg).replace("{pasv}", self.pasv_text).replace("{port}", self.pasv_port)
        return text.encode("utf-8", "surrogateescape")

    def perform(self, step, arg):
        """Plays one step; returns False when the control connection is to be closed."""
        if step.action == "pasv":
            self.open_data_listener()
        elif step.action == "port":
            try:
                self.port_address = parse_port_argument(arg)
            except ValueError:
                self.port_address = None
        for piece in step.pieces:
            if step.delay:
                time.sleep(step.delay)
            self.conn.sendall(self.expand(piece, arg))
        if step.action == "grow":
            self.grow()
            return False
        then = step.then
        if step.action in DATA_ACTIONS:
            data = self.open_data_connection()
            if data is None:
                then = ["425 Can't open data connection."]
            else:
                with data:
                    if step.action == "send":
                        data.sendall(step.data)
                    elif step.action == "flood":
                        self.flood(data, step.data)
                    elif step.action == "stall":
                        if step.data:
                            data.sendall(step.data)
                        time.sleep(step.stall)
                    else:
                        self.recorder.upload(self.expand(step.store_as, arg).decode(
                            "utf-8", "surrogateescape"), self.read_all(data))
        if then:
            if step.then_delay:
                time.sleep(step.then_delay)
            self.conn.sendall(self.expand("".join(line + "\r\n" for line in then), arg))
        return not step.close

    @staticmethod
    def flood(data, body):
        block = body * max(1, 65536 // max(1, len(body)))
        data.settimeout(None)
        try:
            while True:
                data.sendall(block)
        except OSError:
            pass  # the peer closed the data connection

    def grow(self):
        block = b"x" * 4096
        while True:
            self.conn.sendall(block)

    def open_data_listener(self):
        self.close_data_listener()
        host = self.conn.getsockname()[0]
        self.pasv_listener = socket.socket(self.conn.family, socket.SOCK_STREAM)
        self.pasv_listener.bind((host, 0))
        self.pasv_listener.listen(1)
        port = self.pasv_listener.getsockname()[1]
        numbers = host.replace(".", ",") if self.conn.family == socket.AF_INET else "0,0,0,0"
        self.pasv_text = f"{numbers},{port // 256},{port % 256}"
        self.pasv_port = str(port)

    def close_data_listener(self):
        if self.pasv_listener is not None:
            self.pasv_listener.close()
            self.pasv_listener = None

    def open_data_connection(self):
        """Each PASV or PORT serves one transfer, as on a real server."""
        try:
            if self.pasv_listener is not None:
                self.pasv_listener.settimeout(DATA_TIMEOUT_SECONDS)
                data, _ = self.pasv_listener.accept()
                data.settimeout(DATA_TIMEOUT_SECONDS)
                return data
            if self.port_address is not None:
                return socket.create_connection(self.port_address, DATA_TIMEOUT_SECONDS)
        except OSError:
            pass
        finally:
            self.close_data_listener()
            self.port_address = None
        return None

    @staticmethod
    def read_all(data):
        chunks = []
        try:
            while True:
                chunk = data.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
        except OSError:
            pass  # a stalled or reset upload keeps what arrived
        return b"".join(chunks)


def main():
    parser = argparse.ArgumentParser(description="Scripted FTP server for tests")
    parser.add_argument("--script", required=True)
    parser.add_argument("--workdir", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--max-seconds", type=float, default=900.0,
                        help="exit after this long, in case nobody stops the server")
    args = parser.parse_args()

    try:
        with open(args.script, encoding="utf-8") as f:
            script = Script(json.load(f))
    except (OSError, ValueError, re.error) as e:
        print(f"scripted_ftp_server: bad script: {e}", file=sys.stderr)
        return 2

    # Threads may be blocked in a send or an accept; the logs are unbuffered, so leave at once.
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    watchdog = threading.Timer(args.max_seconds, os._exit, (3,))
    watchdog.daemon = True
    watchdog.start()

    recorder = Recorder(args.workdir)
    family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.bind((args.host, 0))
    listener.listen(16)
    port_file = os.path.join(args.workdir, "port")
    with open(port_file + ".part", "w") as f:
        f.write(str(listener.getsockname()[1]))
    os.replace(port_file + ".part", port_file)

    while True:
        conn, _ = listener.accept()
        recorder.connection()
        Session(conn, script, recorder).start()


if __name__ == "__main__":
    sys.exit(main())
