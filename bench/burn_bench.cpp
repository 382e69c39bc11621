// Benchmarks of the flash burn on the simulated host:
//  - ImageChecksum over a 64 MiB image next to a plain copy of the same buffer;
//  - a network burn of a 64 MiB image (DownLoadNewFW) to the simulated printer next to a raw
//    socket push of the same bytes to the same printer; the burn's fixed waits are excluded
//    (the host clock runs without real waiting);
//  - the peak memory of a network burn, over the process's resident size before it.
// The printer runs as the printer-server program, so its memory is not the burn's.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/acl_protocol.h"
#include "engine/engine_context.h"
#include "engine/flash_burn.h"
#include "engine/image_checksum.h"
#include "engine/network_channel.h"
#include "host/clock.h"
#include "host/files.h"
#include "host/machine.h"
#include "host/sockets.h"
#include "image_builder.h"
#include "raw_push.h"
#include "server_process.h"

namespace {

constexpr size_t kImageBytes = 64u << 20;
const char kPrinterAddress[] = "127.250.0.1";
const wchar_t kPrinterAddressWide[] = L"127.250.0.1";
const wchar_t kImagePath[] = L"C:\\bench\\TVQ5530n.bin";

std::vector<uint8_t> RandomBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  std::mt19937_64 random(5);
  for (size_t i = 0; i + 8 <= size; i += 8) {
    uint64_t value = random();
    std::memcpy(&bytes[i], &value, 8);
  }
  return bytes;
}

void BM_ImageChecksum(benchmark::State& state) {
  std::vector<uint8_t> image = RandomBytes(kImageBytes);
  for (auto _ : state) benchmark::DoNotOptimize(ImageChecksum(image.data(), image.size()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_ImageChecksum)->Unit(benchmark::kMillisecond);

void BM_PlainCopy(benchmark::State& state) {
  std::vector<uint8_t> image = RandomBytes(kImageBytes);
  std::vector<uint8_t> copy(kImageBytes, 1);
  for (auto _ : state) {
    std::memcpy(copy.data(), image.data(), image.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);

// The simulated machine with a 64 MiB image beside the program and a printer-server listening.
class Lab {
 public:
  static Lab& Get() {
    static Lab lab;
    return lab;
  }

  bool ready() const { return server_.Running() && !image_.empty(); }
  const std::string& image() const { return image_; }

  // Loads the engine context for a burn of the image to the printer.
  void LoadContext() {
    InitGlobals(CONNECTION_NETWORK, nullptr, kImagePath, kPrinterAddressWide);
  }

 private:
  Lab() : server_({"--address", kPrinterAddress}) {
    host::ResetMachine();
    host::clock::SetCompression(0);  // the burn's fixed waits cost no real time
    host::sockets::SetMinimumRealWait(std::chrono::seconds(60));
    fwimage::ImageLayout layout;
    layout.bodySize = static_cast<uint32_t>(kImageBytes - 4 - fwimage::Trailer(layout).size());
    std::string error;
    if (!fwimage::BuildImage(layout, &image_, &error) || image_.size() != kImageBytes) {
      std::fprintf(stderr, "image: %s\n", error.c_str());
      image_.clear();
      return;
    }
    host::WriteFile(kImagePath, image_);
  }

  testing_support::ServerProcess server_;
  std::string image_;
};

void BM_NetworkBurn(benchmark::State& state) {
  Lab& lab = Lab::Get();
  if (!lab.ready()) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  for (auto _ : state) {
    lab.LoadContext();
    int32_t status = DownLoadNewFW();
    if (status != DOWNLOAD_STATUS_SUCCESS) {
      state.SkipWithError(("burn status " + std::to_string(status)).c_str());
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_NetworkBurn)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(5);

void BM_RawSocketPush(benchmark::State& state) {
  Lab& lab = Lab::Get();
  if (!lab.ready()) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  const std::string& image = lab.image();
  const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
  AclCommand command;
  command.Set(ACLCMD_BURN_FLASH, FLASH_TARGET_TYPE2, ImageChecksum(bytes, image.size()),
              static_cast<uint32_t>(image.size()));
  std::vector<uint8_t> stream;
  for (auto [data, size] : {std::make_pair(reinterpret_cast<const uint8_t*>(PJL_UEL), PJL_UEL_LENGTH),
                            std::make_pair(reinterpret_cast<const uint8_t*>(PJL_ENTERLANG), PJL_ENTERLANG_LENGTH),
                            std::make_pair(static_cast<const uint8_t*>(command.bytes), ACL_RECORD_SIZE),
                            std::make_pair(bytes, image.size())}) {
    size_t at = stream.size();
    stream.resize(at + size);
    std::memcpy(stream.data() + at, data, size);
  }
  for (auto _ : state) {
    uint8_t reply[ACL_RECORD_SIZE] = {};
    if (!RawPush(kPrinterAddress, NET_PRINTER_PORT, stream, reply) ||
        ReadBigEndian16(reply + 4) != ACLCMD_STATUS_SUCCESS) {
      state.SkipWithError("the printer did not accept the raw push");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RawSocketPush)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(4)->Repetitions(5);

// Resident and peak resident size of this process, in KiB.
long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, std::strlen(field), field) == 0) return std::stol(line.substr(std::strlen(field) + 1));
  }
  return -1;
}

// Resets the peak resident size to the current one (Linux 4.0 and later).
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

void BM_NetworkBurnPeakMemory(benchmark::State& state) {
  Lab& lab = Lab::Get();
  if (!lab.ready()) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  if (!ResetPeak()) {
    state.SkipWithError("this kernel cannot reset the peak resident size");
    return;
  }
  long before = StatusKiB("VmRSS:");
  for (auto _ : state) {
    lab.LoadContext();
    if (DownLoadNewFW() != DOWNLOAD_STATUS_SUCCESS) {
      state.SkipWithError("the burn failed");
      break;
    }
  }
  long growth = StatusKiB("VmHWM:") - before;
  state.counters["image_MiB"] = static_cast<double>(kImageBytes >> 20);
  state.counters["peak_growth_MiB"] = static_cast<double>(growth) / 1024.0;
  state.counters["limit_MiB"] = static_cast<double>((kImageBytes >> 20) + 16);
}
BENCHMARK(BM_NetworkBurnPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
