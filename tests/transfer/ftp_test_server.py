#!/usr/bin/env python3
"""A loopback FTP server for the upload tests.

One user (name and password given) and anonymous logins share one folder,
both with write access. Every command line received is appended to a log
file so tests can see what the client sent. The chosen port is printed on
standard output once the server listens. --slow limits uploads to that many
bytes per second, so a test can stop the server in the middle of one.
"""
import argparse

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

parser = argparse.ArgumentParser()
parser.add_argument("--address", required=True)
parser.add_argument("--port", type=int, default=0)
parser.add_argument("--dir", required=True)
parser.add_argument("--user", default="station")
parser.add_argument("--password", default="secret")
parser.add_argument("--commands", required=True)
parser.add_argument("--slow", type=int, default=0)
parser.add_argument("--discard", action="store_true")
args = parser.parse_args()

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.dir, perm="elradfmwMT")
authorizer.add_anonymous(args.dir, perm="elradfmwMT")


class LoggingHandler(FTPHandler):
    def pre_process_command(self, line, cmd, arg):
        with open(args.commands, "a") as log:
            log.write(line + "\n")
        return super().pre_process_command(line, cmd, arg)




class CountingFile:
    """Stands in for an uploaded file: keeps only its length and last bytes,
    written to "<name>.count" as "<length> <hex of the last 16 bytes>"."""

    def __init__(self, name):
        self.name = name
        self.closed = False
        self.length = 0
        self.tail = b""

    def write(self, data):
        self.length += len(data)
        self.tail = (self.tail + bytes(data))[-16:]
        return len(data)

    def close(self):
        if not self.closed:
            with open(self.name + ".count", "w") as out:
                out.write("%d %s\n" % (self.length, self.tail.hex()))
        self.closed = True


class DiscardingFS(AbstractedFS):
    def open(self, filename, mode):
        if "w" in mode or "a" in mode:
            return CountingFile(filename)
        return super().open(filename, mode)


LoggingHandler.authorizer = authorizer
if args.discard:
    LoggingHandler.abstracted_fs = DiscardingFS
LoggingHandler.auth_failed_timeout = 0
if args.slow:
    class SlowData(ThrottledDTPHandler):
        read_limit = args.slow
    LoggingHandler.dtp_handler = SlowData

server = FTPServer((args.address, args.port), LoggingHandler)
print(server.address[1], flush=True)
server.serve_forever()
