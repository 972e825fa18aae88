#!/usr/bin/env python3
"""An FTP proxy that puts a long link between a client and a server on one machine, for benchmarks.

It forwards one FTP control connection after another and the passive data connections their
227 and 229 replies announce: each reply is rewritten to name a port of the proxy, which then
connects to the port the server announced. Every byte reaches the other side a fixed time after
it arrived (half the round trip, each way), in order, and a half-close travels the same way
behind the last byte. With --rate each direction is also a link of that many bytes per second,
shared by all connections.

Active mode cannot work through it: a PORT or EPRT line is passed on as an unknown command
("XPORT ..."), so the refusal is the server's own 500 and comes back in its place among the replies.
Plain FTP only (a TLS control connection cannot be read). With --raw it forwards any TCP
protocol (SSH) unread: each connection to the proxy is one connection to the server.

The client's connect to the proxy completes at once (the kernel answers it), so a client that
waits for its data connection to be made is not charged the round trip of that handshake; the
proxy does wait half a round trip before it connects to the server, as the handshake would.

Each command line's verb goes to --log, "VERB SECONDS" a line (the monotonic clock: when the
proxy read it; never an argument, so no password), so that a benchmark counts the commands of
any client the same way.

usage: lag-proxy.py --server HOST:PORT --rtt MS [--listen PORT] [--rate BYTES_PER_S] [--log FILE]
                    [--raw]
Prints "port=N" once it listens; runs until its standard input closes.
"""
import argparse
import asyncio
import re
import sys
import time

CHUNK = 64 * 1024
QUEUE_CHUNKS = 256  # per direction of a connection: 16 MiB in flight at most


class Link:
    """One direction of the whole link: the time each chunk reaches the far end."""

    def __init__(self, delay, rate):
        self.delay = delay
        self.rate = rate
        self.free_at = 0.0  # the bandwidth cap: when the link has sent what it was given

    def arrival(self, now, size):
        if not self.rate:
            return now + self.delay
        start = max(now, self.free_at)
        self.free_at = start + size / self.rate
        return self.free_at + self.delay


class Proxy:
    def __init__(self, args):
        self.server_host, port = args.server.rsplit(":", 1)
        self.server_host = self.server_host.strip("[]")
        self.server_port = int(port)
        self.delay = args.rtt / 2000.0
        self.up = Link(self.delay, args.rate)  # client to server
        self.down = Link(self.delay, args.rate)  # server to client
        self.log = open(args.log, "a", buffering=1) if args.log else None
        self.raw = args.raw

    async def pump(self, reader, writer, link, edit=None):
        """Copies reader to writer, each chunk `link.delay` after it was read; `edit` may
        rewrite the complete lines of a control connection (a coroutine, bytes to bytes)."""
        queue = asyncio.Queue(QUEUE_CHUNKS)

        async def deliver():
            try:
                while True:
                    due, data = await queue.get()
                    wait = due - time.monotonic()
                    if wait > 0:
                        await asyncio.sleep(wait)
                    if not data:
                        if writer.can_write_eof():
                            writer.write_eof()
                        return
                    writer.write(data)
                    await writer.drain()
            except (ConnectionError, OSError):
                # The far side is gone: the rest is dropped, and the reader is not held up.
                writer.close()
                while (await queue.get())[1]:
                    pass

        sender = asyncio.ensure_future(deliver())
        carry = b""
        try:
            while True:
                data = await reader.read(CHUNK)
                now = time.monotonic()
                if edit is not None and data:
                    carry += data
                    cut = carry.rfind(b"\n") + 1
                    data, carry = carry[:cut], carry[cut:]
                    if data:
                        data = await edit(data)
                    if not data:
                        continue
                elif edit is not None and carry:
                    await queue.put((link.arrival(now, len(carry)), carry))
                await queue.put((link.arrival(now, len(data)), data))
                if not data:
                    break
            await sender
        except BaseException:
            sender.cancel()
            raise

    async def splice(self, client, server, up_edit=None, down_edit=None):
        """Both directions of one connection; a failure on either side closes both."""
        (c_reader, c_writer), (s_reader, s_writer) = client, server
        tasks = [
            asyncio.ensure_future(self.pump(c_reader, s_writer, self.up, up_edit)),
            asyncio.ensure_future(self.pump(s_reader, c_writer, self.down, down_edit)),
        ]
        try:
            for done in asyncio.as_completed(tasks):
                try:
                    await done
                except (ConnectionError, OSError):
                    for task in tasks:
                        task.cancel()
                    break
        finally:
            for w in (c_writer, s_writer):
                w.close()

    async def control(self, c_reader, c_writer):
        try:
            s_reader, s_writer = await asyncio.open_connection(self.server_host, self.server_port)
        except OSError:
            c_writer.close()
            return
        local_ip = c_writer.get_extra_info("sockname")[0]
        if self.raw:
            if self.log:
                self.log.write(f"CONNECT {time.monotonic():.3f}\n")
            await self.splice((c_reader, c_writer), (s_reader, s_writer))
            return

        async def commands(data):
            out = []
            for line in data.split(b"\n"):
                if not line:
                    continue
                verb = line.split(b" ", 1)[0].strip().upper()
                if self.log:
                    self.log.write(f"{verb.decode('ascii', 'replace')} {time.monotonic():.3f}\n")
                if verb in (b"PORT", b"EPRT"):
                    line = b"X" + line  # the server refuses it, in its place among the replies
                out.append(line + b"\n")
            return b"".join(out)

        async def replies(data):
            out = []
            for line in data.split(b"\n"):
                if not line:
                    continue
                m = re.match(rb"227 .*?(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)", line)
                if m:
                    port = int(m.group(5)) * 256 + int(m.group(6))
                    mine = await self.data_listener(port, local_ip)
                    h = local_ip.replace(".", ",").encode()
                    line = b"227 Entering Passive Mode (%s,%d,%d).\r" % (h, mine >> 8, mine & 255)
                m = re.match(rb"229 .*\(\|\|\|(\d+)\|\)", line)
                if m:
                    mine = await self.data_listener(int(m.group(1)), local_ip)
                    line = b"229 Entering Extended Passive Mode (|||%d|).\r" % mine
                out.append(line + b"\n")
            return b"".join(out)

        await self.splice((c_reader, c_writer), (s_reader, s_writer), commands, replies)

    async def data_listener(self, server_port, local_ip):
        """Listens for the one data connection that the rewritten reply announces."""
        taken = asyncio.get_running_loop().create_future()

        async def accepted(c_reader, c_writer):
            if taken.done():
                c_writer.close()
                return
            taken.set_result(True)
            listener.close()
            await asyncio.sleep(self.delay)  # the connect's way to the server
            try:
                server = await asyncio.open_connection(self.server_host, server_port)
            except OSError:
                c_writer.close()
                return
            await self.splice((c_reader, c_writer), server)

        listener = await asyncio.start_server(accepted, local_ip, 0)
        # Nobody came: the listener goes after a minute.
        asyncio.get_running_loop().call_later(60, listener.close)
        return listener.sockets[0].getsockname()[1]


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--server", required=True, help="HOST:PORT of the FTP server")
    parser.add_argument("--rtt", type=float, required=True, help="round trip added, milliseconds")
    parser.add_argument("--listen", type=int, default=0, help="control port (0: any free one)")
    parser.add_argument("--rate", type=float, default=0, help="bytes a second each way (0: no cap)")
    parser.add_argument("--log", help="file that gets each command's verb")
    parser.add_argument("--raw", action="store_true", help="forward bytes unread (not FTP)")
    args = parser.parse_args()
    proxy = Proxy(args)

    async def control(r, w):
        try:
            await proxy.control(r, w)
        except (ConnectionError, OSError):
            pass

    server = await asyncio.start_server(control, "127.0.0.1", args.listen)
    print(f"port={server.sockets[0].getsockname()[1]}", flush=True)
    loop = asyncio.get_running_loop()
    stdin_closed = loop.create_future()
    loop.add_reader(sys.stdin.fileno(), lambda: sys.stdin.buffer.raw.read(4096) or stdin_closed.done()
                    or stdin_closed.set_result(True))
    await stdin_closed
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
