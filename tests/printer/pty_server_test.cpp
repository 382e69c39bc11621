// The printer served on a pseudo-terminal, reached as a client reaches a device: by opening the
// symlink the server made.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "printer/pty_server.h"

namespace simprinter {
namespace {

// A query whose unused record bytes are ones a terminal not in raw mode would act on: end of
// file, line feed, carriage return, XOFF/XON, interrupt, erase.
std::string Query(uint16_t code) {
  std::string stream = "\x1B%-12345X@PJL ENTER LANGUAGE=ACL\r\n";
  const char record[16] = {0, char(0xAC), char(code >> 8), char(code), 0, 0, 0, 0,
                           0x04, 0x0A, 0x0D, 0x13, 0x11, 0x03, 0x7F, char(0xFF)};
  return stream + std::string(record, sizeof record);
}

// Reads until `size` bytes arrived or `waitMs` passed without any.
std::string ReadUpTo(int fd, size_t size, int waitMs = 5000) {
  std::string data;
  while (data.size() < size) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0) break;
    char buffer[4096];
    ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, size - data.size()));
    if (n <= 0) break;
    data.append(buffer, static_cast<size_t>(n));
  }
  return data;
}

class PtyServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/pty_server_test.XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    folder_ = folder;
    link_ = folder_ + "/nonspooled_lpt1";
  }
  void TearDown() override { ::rmdir(folder_.c_str()); }

  int Open() { return ::open(link_.c_str(), O_RDWR | O_NOCTTY); }
  std::string Exchange(int fd, uint16_t code, size_t replySize, int waitMs = 5000) {
    std::string query = Query(code);
    EXPECT_EQ(::write(fd, query.data(), query.size()), ssize_t(query.size()));
    return ReadUpTo(fd, replySize, waitMs);
  }

  std::string folder_;
  std::string link_;
};

TEST_F(PtyServerTest, AnswersThroughTheLinkBinaryCleanBothWays) {
  PrinterSettings settings;
  const std::string info("FW:\x04\r\n\x13\x11\x03\x7F\xFF;", 12);
  settings.buildInfo = info;
  Printer printer(settings);
  PtyServer server(printer);
  std::string error;
  ASSERT_TRUE(server.Start(link_, &error)) << error;
  int fd = Open();
  ASSERT_GE(fd, 0);

  std::string version = Exchange(fd, kCmdGetVersion, 16);
  ASSERT_EQ(version.size(), 16u);
  EXPECT_EQ(version.substr(0, 4), std::string("\x00\xAC\x00\x01", 4));
  EXPECT_EQ(version.substr(6, 8), "00000215");

  std::string build = Exchange(fd, kCmdGetBuildInfo, 16 + info.size());
  ASSERT_EQ(build.size(), 16 + info.size());
  EXPECT_EQ(build.substr(16), info);
  EXPECT_EQ(printer.Commands(), (std::vector<uint16_t>{1, 19}));
  EXPECT_EQ(printer.Count(Event::kBadRecord), 0);
  ::close(fd);
  server.Stop();
  EXPECT_NE(::access(link_.c_str(), F_OK), 0) << "the symlink outlives the server";
}

// The client closing the device does not end the server: the next opening is answered, and a
// fault that would close a connection leaves the device answering the exchange after it.
TEST_F(PtyServerTest, KeepsServingAcrossOpeningsAndClosingFaults) {
  Printer printer;
  ReplyFaults faults;
  faults.closeAfterBytes = 4;
  printer.AddFault({kCmdGetVersion, 0, 1, faults});
  PtyServer server(printer);
  std::string error;
  ASSERT_TRUE(server.Start(link_, &error)) << error;

  int fd = Open();
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Exchange(fd, kCmdGetVersion, 16, 300).size(), 4u);
  ::close(fd);
  for (int opening = 0; opening < 2; ++opening) {
    fd = Open();
    ASSERT_GE(fd, 0);
    std::string reply = Exchange(fd, kCmdGetVersion, 16);
    ASSERT_EQ(reply.size(), 16u) << "opening " << opening;
    EXPECT_EQ(reply.substr(6, 8), "00000215");
    ::close(fd);
  }
  EXPECT_EQ(printer.Commands(), (std::vector<uint16_t>{1, 1, 1}));
}

// A client that asks and never reads fills the terminal's queue with replies; the server still
// stops when told.
TEST_F(PtyServerTest, StopsWhileRepliesWaitUnread) {
  Printer printer;
  PtyServer server(printer);
  std::string error;
  ASSERT_TRUE(server.Start(link_, &error)) << error;
  int fd = ::open(link_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  std::string queries;
  for (int i = 0; i < 20000; ++i) queries += Query(kCmdGetVersion);
  size_t sent = 0;
  // Writes until the terminal has taken nothing for 5 rounds of 10 ms.
  for (int idle = 0; idle < 5 && sent < queries.size();) {
    ssize_t n = ::write(fd, queries.data() + sent, queries.size() - sent);
    idle = n > 0 ? 0 : idle + 1;
    if (n > 0) sent += static_cast<size_t>(n);
    ::usleep(10000);
  }
  // The server stalled on replies nobody reads, so the client could not send everything.
  ASSERT_LT(sent, queries.size()) << "the replies fit the terminal: nothing is tested";
  server.Stop();
  ::close(fd);
}

}  // namespace
}  // namespace simprinter
