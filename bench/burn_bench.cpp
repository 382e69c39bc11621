// Benchmarks of the flash burn on the simulated host:
//  - ImageChecksum over a 64 MiB image next to a plain copy of the same buffer;
//  - a network burn of a 64 MiB image (DownLoadNewFW) to the simulated printer in turns with a
//    raw socket push of the same bytes to the same printer; the burn's fixed waits are excluded
//    (the host clock runs without real waiting);
//  - the peak memory of a network burn, over the process's resident size before it.
// The printer runs as the printer-server program, so its memory is not the burn's.
#include <benchmark/benchmark.h>

#include <algorithm>
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
#include "platform/unique_handle.h"
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

  bool ready() const { return server_.Running() && !stream_.empty(); }

  // One network burn of the image with DownLoadNewFW.
  bool Burn() {
    InitGlobals(CONNECTION_NETWORK, nullptr, kImagePath, kPrinterAddressWide);
    return DownLoadNewFW() == DOWNLOAD_STATUS_SUCCESS;
  }
  // The same bytes from memory over a plain socket, and the printer's reply.
  bool Push() {
    uint8_t reply[ACL_RECORD_SIZE] = {};
    return RawPush(kPrinterAddress, NET_PRINTER_PORT, stream_, reply) &&
           ReadBigEndian16(reply + 4) == ACLCMD_STATUS_SUCCESS;
  }

 private:
  Lab() : server_({"--address", kPrinterAddress}) {
    host::ResetMachine();
    host::clock::SetCompression(0);  // the burn's fixed waits cost no real time
    host::sockets::SetMinimumRealWait(std::chrono::seconds(60));
    fwimage::ImageLayout layout;
    layout.bodySize = static_cast<uint32_t>(kImageBytes - 4 - fwimage::Trailer(layout).size());
    std::string image, error;
    if (!fwimage::BuildImage(layout, &image, &error) || image.size() != kImageBytes) {
      std::fprintf(stderr, "image: %s\n", error.c_str());
      return;
    }
    host::WriteFile(kImagePath, image);

    // What the burn sends: the envelope, the command (file type 2: target 3), the image.
    const auto* bytes = reinterpret_cast<const uint8_t*>(image.data());
    AclCommand command;
    command.Set(ACLCMD_BURN_FLASH, FLASH_TARGET_TYPE2, ImageChecksum(bytes, image.size()),
                static_cast<uint32_t>(image.size()));
    for (auto [data, size] : {std::make_pair(reinterpret_cast<const uint8_t*>(PJL_UEL), PJL_UEL_LENGTH),
                              std::make_pair(reinterpret_cast<const uint8_t*>(PJL_ENTERLANG), PJL_ENTERLANG_LENGTH),
                              std::make_pair(static_cast<const uint8_t*>(command.bytes), ACL_RECORD_SIZE),
                              std::make_pair(bytes, image.size())}) {
      size_t at = stream_.size();
      stream_.resize(at + size);
      std::memcpy(stream_.data() + at, data, size);
    }
  }

  testing_support::ServerProcess server_;
  std::vector<uint8_t> stream_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Burns and raw pushes in turns, so that both meet the same load of the machine. The time of an
// iteration is the burn's; the counters give both throughputs (medians) and their ratio.
void BM_NetworkBurnNextToRawPush(benchmark::State& state) {
  Lab& lab = Lab::Get();
  if (!lab.ready()) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  using Clock = std::chrono::steady_clock;
  std::vector<double> burns, pushes;
  bool pushFirst = false;
  for (auto _ : state) {
    pushFirst = !pushFirst;
    double burnSeconds = 0, pushSeconds = 0;
    for (int turn = 0; turn < 2; ++turn) {
      bool push = (turn == 0) == pushFirst;
      auto start = Clock::now();
      if (!(push ? lab.Push() : lab.Burn())) {
        state.SkipWithError(push ? "the printer did not accept the raw push" : "the burn failed");
        return;
      }
      (push ? pushSeconds : burnSeconds) = std::chrono::duration<double>(Clock::now() - start).count();
    }
    burns.push_back(burnSeconds);
    pushes.push_back(pushSeconds);
    state.SetIterationTime(burnSeconds);
  }
  const double mebibytes = static_cast<double>(kImageBytes) / (1 << 20);
  state.counters["burn_MiB/s"] = mebibytes / Median(burns);
  state.counters["raw_push_MiB/s"] = mebibytes / Median(pushes);
  state.counters["burn_to_raw"] = Median(pushes) / Median(burns);
}
BENCHMARK(BM_NetworkBurnNextToRawPush)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(12);

// What a burn pays before its first byte goes out and the raw push does not: the image file read
// into fresh memory (as the burns read it) and released again.
void BM_ImageFileLoad(benchmark::State& state) {
  Lab& lab = Lab::Get();
  if (!lab.ready()) {
    state.SkipWithError("the image is missing");
    return;
  }
  for (auto _ : state) {
    platform::UniqueFile file(
        CreateFileW(kImagePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD high = 0;
    DWORD size = GetFileSize(file.get(), &high);
    platform::UniqueLocalMemory memory(LocalAlloc(LMEM_FIXED, size));
    DWORD done = 0;
    if (!file || !memory || !ReadFile(file.get(), memory.get(), size, &done, nullptr) || done != size) {
      state.SkipWithError("the image did not load");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_ImageFileLoad)->Unit(benchmark::kMillisecond)->UseRealTime();

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
    if (!lab.Burn()) {
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
