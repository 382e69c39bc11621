// Benchmarks of the flash burn on the simulated host:
//  - ImageChecksum over a 64 MiB image next to a plain copy of the same buffer;
//  - a network burn of a 16 and a 64 MiB image (DownLoadNewFW) to the simulated printer in turns
//    with a raw push of the same bytes to the same printer, streamed from a prepared file as a
//    netcat-like tool sends it, and the burn's file load and checksum; the burn's fixed waits are
//    excluded (the host clock runs without real waiting);
//  - the host's ReadFile of the 64 MiB image in turns with a plain read() of the same file;
//  - the peak memory of a network burn, over the process's resident size before it.
// The printer runs as the printer-server program, so its memory is not the burn's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
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
#include "printer/server_process.h"
#include "burn_files.h"
#include "raw_push.h"

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

// One image size on the simulated machine: the image beside the program, and the file an
// administrator would push to the printer's port instead (envelope, burn command and image).
struct BenchImage {
  size_t bytes = 0;
  std::wstring path;        // the image, as the program names it
  std::string hostPath;     // the same file on the Linux side
  std::string pushHostPath; // the prepared push file
};

// The simulated machine with the images and a printer-server listening.
class Lab {
 public:
  static Lab& Get() {
    static Lab lab;
    return lab;
  }

  // The image of `mebibytes` MiB, made on first use; null when the printer-server is not running
  // or the image could not be made.
  const BenchImage* Image(size_t mebibytes) {
    if (!server_.Running()) return nullptr;
    auto it = images_.find(mebibytes);
    if (it == images_.end()) it = images_.emplace(mebibytes, Make(mebibytes)).first;
    return it->second.bytes ? &it->second : nullptr;
  }

  // One network burn of the image with DownLoadNewFW.
  static bool Burn(const BenchImage& image) {
    InitGlobals(CONNECTION_NETWORK, nullptr, image.path.c_str(), kPrinterAddressWide);
    return DownLoadNewFW() == DOWNLOAD_STATUS_SUCCESS;
  }
  // The push file streamed over a plain socket, and the printer's reply.
  static bool Push(const BenchImage& image) {
    uint8_t reply[ACL_RECORD_SIZE] = {};
    return RawPushFile(kPrinterAddress, NET_PRINTER_PORT, image.pushHostPath, reply) &&
           ReadBigEndian16(reply + 4) == ACLCMD_STATUS_SUCCESS;
  }

 private:
  Lab() : server_({"--address", kPrinterAddress}) {
    host::ResetMachine();
    host::clock::SetCompression(0);  // the burn's fixed waits cost no real time
    host::sockets::SetMinimumRealWait(std::chrono::seconds(60));
  }

  static BenchImage Make(size_t mebibytes) {
    BurnBenchFiles files;
    std::string error;
    if (!MakeBurnBenchFiles(mebibytes << 20, &files, &error)) {
      std::fprintf(stderr, "image: %s\n", error.c_str());
      return {};
    }
    const std::wstring folder = L"C:\\bench\\" + std::to_wstring(mebibytes) + L"MiB\\";
    BenchImage made;
    made.bytes = files.image.size();
    made.path = folder + L"TVQ5530n.bin";
    host::WriteFile(made.path, files.image);
    made.hostPath = host::HostPathOf(made.path);
    host::WriteFile(folder + L"TVQ5530n.prn", files.push);
    made.pushHostPath = host::HostPathOf(folder + L"TVQ5530n.prn");
    return made;
  }

  simprinter::ServerProcess server_;
  std::map<size_t, BenchImage> images_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// One thing a benchmark times, by name; false when it failed.
struct Step {
  std::string name;
  std::function<bool()> run;
};

// Runs the steps in turns, each iteration starting one step further along, so that all meet the
// same load of the machine. The time of an iteration is the first step's. Returns each step's
// median in seconds, or nothing after a failure (which the state then reports).
std::vector<double> InTurns(benchmark::State& state, const std::vector<Step>& steps) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::vector<double>> seconds(steps.size());
  size_t first = 0;
  for (auto _ : state) {
    for (size_t turn = 0; turn < steps.size(); ++turn) {
      const size_t which = (first + turn) % steps.size();
      auto start = Clock::now();
      if (!steps[which].run()) {
        state.SkipWithError((steps[which].name + " failed").c_str());
        return {};
      }
      seconds[which].push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    first = (first + 1) % steps.size();
    state.SetIterationTime(seconds[0].back());
  }
  std::vector<double> medians;
  for (const auto& times : seconds) medians.push_back(Median(times));
  return medians;
}

double MebibytesPerSecond(size_t bytes, double seconds) { return static_cast<double>(bytes) / (1 << 20) / seconds; }

// A network burn next to a raw push of the prepared file, for an image of range(0) MiB, and in
// the same turns the burn's work before its first byte goes out (file load and checksum), which
// the raw push does not have. The burn's fixed waits are excluded (host clock compression 0).
void BM_NetworkBurnNextToRawPush(benchmark::State& state) {
  const BenchImage* image = Lab::Get().Image(static_cast<size_t>(state.range(0)));
  if (!image) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  uint16_t checksum = 0;
  auto loadAndChecksum = [&] { return LoadAsTheBurnDoes(image->path.c_str(), nullptr, &checksum); };
  std::vector<double> medians = InTurns(state, {{"burn", [&] { return Lab::Burn(*image); }},
                                                {"raw push", [&] { return Lab::Push(*image); }},
                                                {"load and checksum", loadAndChecksum}});
  if (medians.empty()) return;
  state.counters["burn_MiB/s"] = MebibytesPerSecond(image->bytes, medians[0]);
  state.counters["raw_push_MiB/s"] = MebibytesPerSecond(image->bytes, medians[1]);
  state.counters["burn_to_raw"] = medians[1] / medians[0];
  state.counters["burn_minus_raw_ms"] = (medians[0] - medians[1]) * 1e3;
  state.counters["load_checksum_ms"] = medians[2] * 1e3;
}
BENCHMARK(BM_NetworkBurnNextToRawPush)
    ->Arg(16)
    ->Arg(64)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(12);

// The image file read whole, as the burns read it, through the host (CreateFileW, GetFileSize,
// ReadFile) and with plain POSIX calls (open, fstat, read), in turns. range(0) 1: each read into
// fresh memory (LocalAlloc, malloc), as the burns do; 0: every read into the same, already
// touched buffer, which leaves the reading alone.
void BM_HostReadFileNextToRead(benchmark::State& state) {
  const BenchImage* image = Lab::Get().Image(kImageBytes >> 20);
  if (!image) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  const bool fresh = state.range(0) != 0;
  std::vector<uint8_t> reused(fresh ? 0 : image->bytes, 1);
  auto plainRead = [&] {
    int fd = ::open(image->hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat info {};
    const size_t size = ::fstat(fd, &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
    std::unique_ptr<uint8_t, decltype(&std::free)> memory(
        fresh ? static_cast<uint8_t*>(std::malloc(size)) : nullptr, &std::free);
    uint8_t* buffer = fresh ? memory.get() : reused.data();
    size_t done = 0;
    while (buffer && done < size) {
      ssize_t n = ::read(fd, buffer + done, size - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
    return size == image->bytes && done == size;
  };
  auto hostRead = [&] { return LoadAsTheBurnDoes(image->path.c_str(), fresh ? nullptr : reused.data(), nullptr); };
  std::vector<double> medians = InTurns(state, {{"ReadFile", hostRead}, {"read", plainRead}});
  if (medians.empty()) return;
  state.counters["ReadFile_MiB/s"] = MebibytesPerSecond(image->bytes, medians[0]);
  state.counters["read_MiB/s"] = MebibytesPerSecond(image->bytes, medians[1]);
  state.counters["ReadFile_to_read"] = medians[1] / medians[0];
}
BENCHMARK(BM_HostReadFileNextToRead)
    ->ArgName("fresh")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);

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
  const BenchImage* image = Lab::Get().Image(kImageBytes >> 20);
  if (!image) {
    state.SkipWithError("the printer-server or the image is missing");
    return;
  }
  if (!ResetPeak()) {
    state.SkipWithError("this kernel cannot reset the peak resident size");
    return;
  }
  long before = StatusKiB("VmRSS:");
  for (auto _ : state) {
    if (!Lab::Burn(*image)) {
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
