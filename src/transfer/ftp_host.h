// The FTP host text as ftplib reads it ("name" or "name:port", IPv4, the port
// a number or a service name, "ftp" when absent), resolved here so that the
// host can be tried with a bounded wait before ftplib's own blocking connect.
#pragma once

#include <ftplib.h>
#include <netinet/in.h>

#include <string>

namespace hv {

bool ResolveFtpHost(const std::string& host, sockaddr_in* address);

// Connects within `seconds` and waits for the server's first reply line
// ("220 ..."), then closes. False when the host does not answer in time or the
// run flag falls.
bool ProbeFtpServer(const sockaddr_in& address, double seconds);

// The socket descriptor of an ftplib connection, when it is a connected
// stream socket (connected to `peer`, address and port, when given); else -1.
int FtpSocketOf(netbuf* connection, const sockaddr_in* peer);

}  // namespace hv
