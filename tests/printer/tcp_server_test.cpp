// The printer served over loopback TCP, with a plain POSIX client.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "printer/tcp_server.h"

namespace simprinter {
namespace {

int ConnectTo(const char* address, uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  inet_pton(AF_INET, address, &peer.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string Query(uint16_t code) {
  std::string stream = "\x1B%-12345X@PJL ENTER LANGUAGE=ACL\r\n";
  char record[16] = {0, char(0xAC), char(code >> 8), char(code)};
  return stream + std::string(record, sizeof record);
}

// Reads until `size` bytes arrived, the peer closed, or 5 s passed.
std::string ReadUpTo(int fd, size_t size) {
  std::string data;
  while (data.size() < size) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) break;
    char buffer[4096];
    ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, size - data.size()), 0);
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

TEST(PrinterServer, ServesOneConnectionAfterAnother) {
  Printer printer;
  TcpServer server(printer);
  std::string error;
  ASSERT_TRUE(server.Start("127.61.1.1", 9100, &error)) << error;
  for (int i = 0; i < 2; ++i) {
    int fd = ConnectTo("127.61.1.1", 9100);
    ASSERT_GE(fd, 0);
    std::string query = Query(1);
    ASSERT_EQ(::send(fd, query.data(), query.size(), 0), ssize_t(query.size()));
    std::string reply = ReadUpTo(fd, 16);
    ASSERT_EQ(reply.size(), 16u);
    EXPECT_EQ(reply.substr(6, 8), "00000215");
    ::close(fd);
  }
  server.Stop();
  EXPECT_EQ(server.Connections(), 2);
  EXPECT_EQ(printer.Commands(), (std::vector<uint16_t>{1, 1}));
}

TEST(PrinterServer, ClosesAfterTheChosenByteWithTheBytesReadable) {
  Printer printer;
  ReplyFaults faults;
  faults.closeAfterBytes = 7;
  printer.AddFault({1, 0, -1, faults});
  TcpServer server(printer);
  std::string error;
  ASSERT_TRUE(server.Start("127.61.1.2", 9100, &error)) << error;
  int fd = ConnectTo("127.61.1.2", 9100);
  ASSERT_GE(fd, 0);
  std::string query = Query(1) + "more bytes the printer never reads";
  ::send(fd, query.data(), query.size(), 0);
  EXPECT_EQ(ReadUpTo(fd, 16).size(), 7u);  // then end of stream
  ::close(fd);
}

TEST(PrinterServer, StopsWhileAConnectionWaitsForASilentReply) {
  Printer printer;
  ReplyFaults faults;
  faults.silent = true;
  printer.AddFault({0, 0, -1, faults});
  TcpServer server(printer);
  std::string error;
  ASSERT_TRUE(server.Start("127.61.1.3", 9100, &error)) << error;
  int fd = ConnectTo("127.61.1.3", 9100);
  ASSERT_GE(fd, 0);
  std::string query = Query(1);
  ::send(fd, query.data(), query.size(), 0);
  auto start = std::chrono::steady_clock::now();
  while (printer.Commands().empty() && std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) usleep(1000);
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(ReadUpTo(fd, 16), "");  // closed without a reply
  ::close(fd);
}

TEST(PrinterServer, RefusesABadOrTakenAddress) {
  Printer printer;
  TcpServer first(printer), second(printer), third(printer);
  std::string error;
  ASSERT_TRUE(first.Start("127.61.1.4", 9100, &error)) << error;
  EXPECT_FALSE(second.Start("127.61.1.4", 9100, &error));
  EXPECT_NE(error.find("127.61.1.4:9100"), std::string::npos) << error;
  EXPECT_FALSE(third.Start("printer.example", 9100, &error));
}

}  // namespace
}  // namespace simprinter
