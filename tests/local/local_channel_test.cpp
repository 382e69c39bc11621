// WriteData and ReadData on device handles of the simulated host.
#include <gtest/gtest.h>

#include <deque>

#include "engine/local_channel.h"
#include "host/clock.h"
#include "host/device_files.h"
#include "host/kernel_objects.h"
#include "host/machine.h"
#include "platform/unique_handle.h"
#include "support/trace.h"

namespace {

using testing_support::TraceCount;
using testing_support::Traced;

// A device that records what was written and hands out scripted reply pieces.
class ScriptedDevice : public host::device_files::ByteStreamEndpoint {
 public:
  DWORD Write(const uint8_t* data, size_t size) override {
    written.emplace_back(data, data + size);
    return 0;
  }
  std::optional<std::vector<uint8_t>> Read(size_t capacity) override {
    if (pieces.empty()) return std::nullopt;
    std::vector<uint8_t> piece = pieces.front();
    pieces.pop_front();
    if (piece.size() > capacity) {
      pieces.emplace_front(piece.begin() + static_cast<long>(capacity), piece.end());
      piece.resize(capacity);
    }
    return piece;
  }
  std::vector<std::vector<uint8_t>> written;
  std::deque<std::vector<uint8_t>> pieces;
};

struct Device {
  std::shared_ptr<ScriptedDevice> endpoint = std::make_shared<ScriptedDevice>();
  platform::UniqueFile handle{host::NewHandle(
      host::device_files::NewDevice(L"\\\\?\\usb#vid_7e51", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_OVERLAPPED, endpoint))};
};

TEST(LocalChannelWrite, TransfersAtMost512BytesPerCall) {
  Device device;
  std::vector<uint8_t> data(1000, 0x5A);
  EXPECT_EQ(WriteData(device.handle.get(), data.data(), 1000), 512);
  ASSERT_EQ(device.endpoint->written.size(), 1u);
  EXPECT_EQ(device.endpoint->written[0].size(), 512u);
  EXPECT_EQ(WriteData(device.handle.get(), data.data(), 488), 488);
  EXPECT_EQ(host::clock::WaitsOf("WaitForSingleObject"), (std::vector<DWORD>{10000, 10000}));
  EXPECT_EQ(host::CallCount("CreateEventW"), 2);  // each event is closed again (leak check)
}

TEST(LocalChannelWrite, FailuresAreLoggedOnceAndGiveMinusOne) {
  Device device;
  host::FailCall("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(WriteData(device.handle.get(), "x", 1), -1);
  EXPECT_TRUE(Traced(L"WriteData(): CreateEvent failed!"));
  EXPECT_EQ(host::CallCount("WriteFile"), 0);

  host::FailCall("WriteFile", ERROR_GEN_FAILURE);
  EXPECT_EQ(WriteData(device.handle.get(), "x", 1), -1);
  EXPECT_TRUE(Traced(L"WriteData(): WriteFile failed!"));
  EXPECT_EQ(host::CallCount("WaitForSingleObject"), 0);

  host::FailCall("GetOverlappedResult", ERROR_GEN_FAILURE);
  EXPECT_EQ(WriteData(device.handle.get(), "x", 1), -1);
  EXPECT_TRUE(Traced(L"WriteData(): GetOverlappedResult failed!"));
  EXPECT_FALSE(Traced(L"WriteData(): WaitForSingleObject failed!"));
}

TEST(LocalChannelRead, ReturnsWhatArrivedAndTheCallerAsksForTheRest) {
  Device device;
  device.endpoint->pieces = {std::vector<uint8_t>(10, 1), std::vector<uint8_t>(6, 2)};
  uint8_t buffer[16] = {};
  EXPECT_EQ(ReadData(device.handle.get(), buffer, 16, 3000), 10);
  EXPECT_EQ(ReadData(device.handle.get(), buffer + 10, 6, 3000), 6);
  EXPECT_EQ(buffer[9], 1);
  EXPECT_EQ(buffer[10], 2);
  EXPECT_EQ(TraceCount(L"ReadData(): ReadData using overlapped I/O()."), 2);
  EXPECT_EQ(host::clock::WaitsOf("WaitForSingleObject"), (std::vector<DWORD>{3000, 3000}));
}

TEST(LocalChannelRead, SilentDeviceTimesOutAndTheTransferIsCancelledFirst) {
  Device device;
  uint8_t buffer[16];
  ULONGLONG before = host::clock::Now();
  EXPECT_EQ(ReadData(device.handle.get(), buffer, 16, 3000), -1);
  EXPECT_EQ(host::clock::Now() - before, 3000u);
  EXPECT_TRUE(Traced(L"ReadData(): WaitForSingleObject() Failed."));
  EXPECT_EQ(host::CallCount("CancelIoEx"), 1);
  EXPECT_EQ(host::device_files::PendingTransfers(), 0);  // nothing uses the released block
}

TEST(LocalChannelRead, ResultNotReadyYetEndsTheTransferBeforeItsBlockIsReleased) {
  Device device;
  device.endpoint->pieces = {std::vector<uint8_t>(4, 1)};
  uint8_t buffer[4];
  host::FailCall("GetOverlappedResult", ERROR_IO_INCOMPLETE);
  EXPECT_EQ(ReadData(device.handle.get(), buffer, 4, 3000), -1);
  EXPECT_TRUE(Traced(L"ReadData(): GetOverlappedResult() Failed."));
  EXPECT_EQ(host::CallCount("CancelIoEx"), 1);
  EXPECT_EQ(host::CallCount("GetOverlappedResult"), 2);  // and found it completed
}

TEST(LocalChannelRead, FailedStartIsLogged) {
  Device device;
  uint8_t buffer[4];
  host::FailCall("ReadFile", ERROR_GEN_FAILURE);
  EXPECT_EQ(ReadData(device.handle.get(), buffer, 4, 3000), -1);
  EXPECT_TRUE(Traced(L"ReadData(): ReadFile() Failed."));
  host::FailCall("CreateEventW", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(ReadData(device.handle.get(), buffer, 4, 3000), -1);
  EXPECT_TRUE(Traced(L"ReadData(): CreateEvent() Failed."));
}

TEST(ParallelPortOpening, ReadWriteAndReadOnlyOpenings) {
  host::device_files::AttachParallelPort([] { return std::make_shared<ScriptedDevice>(); });
  platform::UniqueFile readWrite(OpenParallelPortReadWrite());
  platform::UniqueFile readOnly(OpenParallelPortForReading());
  EXPECT_TRUE(readWrite);
  EXPECT_TRUE(readOnly);
  auto openings = host::device_files::ParallelPortOpenings();
  ASSERT_EQ(openings.size(), 2u);
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OVERLAPPED;
  EXPECT_EQ(openings[0].access, GENERIC_READ | GENERIC_WRITE);
  EXPECT_EQ(openings[0].share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
  EXPECT_EQ(openings[1].access, GENERIC_READ);
  EXPECT_EQ(openings[1].share, static_cast<DWORD>(FILE_SHARE_READ));
  for (const auto& opening : openings) {
    EXPECT_EQ(opening.creation, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(opening.flags, flags);
  }
}

}  // namespace
