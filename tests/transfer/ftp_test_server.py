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
args = parser.parse_args()

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.dir, perm="elradfmwMT")
authorizer.add_anonymous(args.dir, perm="elradfmwMT")


class LoggingHandler(FTPHandler):
    def pre_process_command(self, line, cmd, arg):
        with open(args.commands, "a") as log:
            log.write(line + "\n")
        return super().pre_process_command(line, cmd, arg)


LoggingHandler.authorizer = authorizer
LoggingHandler.auth_failed_timeout = 0
if args.slow:
    class SlowData(ThrottledDTPHandler):
        read_limit = args.slow
    LoggingHandler.dtp_handler = SlowData

server = FTPServer((args.address, args.port), LoggingHandler)
print(server.address[1], flush=True)
server.serve_forever()
