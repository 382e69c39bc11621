// The network burn next to a raw push, as a Windows program (run under Wine by wine_bench.sh):
// the engine's network burn (NetBurnFlash: image load, checksum, TCP to the printer, reply) of an
// image, in turns with what an administrator would do instead, a copy of a prepared file
// (envelope, burn command and image) to the printer's port, read and sent in chunks; and, in the
// same turns, the burn's file load and checksum. All run on the system's own files and Windows
// Sockets.
//
//   corvel_wine_bench.exe PRINTER_ADDRESS [IMAGE_MIB [TURNS]]     (defaults 64 and 7)
//
// The burn's fixed wait before it reads the printer's reply is real time here. The raw push waits
// as long before it reads the reply, and that wait is taken off both times: the printer's check of
// the image falls inside it in both, and so does Wine's lateness in waking up.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/acl_protocol.h"
#include "engine/engine_context.h"
#include "engine/flash_burn.h"
#include "engine/network_channel.h"
#include "platform/unique_handle.h"
#include "platform/win32.h"
#include "burn_files.h"

namespace {

// NetBurnFlash's fixed wait before it reads the printer's reply.
constexpr DWORD kReplyWaitMs = 5000;
// The chunk a copy tool reads from the file and sends (the native raw push's too).
constexpr DWORD kChunkBytes = 64 * 1024;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start, DWORD fixedWaitMs) {
  return std::chrono::duration<double>(Clock::now() - start).count() - fixedWaitMs / 1000.0;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  platform::UniqueFile file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD done = 0;
  return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
         done == bytes.size();
}

// The image and the push file beside it.
bool MakeFiles(size_t bytes, const std::wstring& image, const std::wstring& push) {
  BurnBenchFiles files;
  std::string error;
  if (!MakeBurnBenchFiles(bytes, &files, &error)) {
    std::fprintf(stderr, "image: %s\n", error.c_str());
    return false;
  }
  return WriteWholeFile(image, files.image) && WriteWholeFile(push, files.push);
}

bool SendAll(SOCKET socket, const char* data, int size) {
  for (int sent = 0; sent < size;) {
    int n = send(socket, data + sent, size - sent, 0);
    if (n <= 0) return false;
    sent += n;
  }
  return true;
}

// Streams the push file to the printer, waits as the burn does, and reads the 16-byte reply;
// true when the printer accepted the image. `overshoot`: how much longer than asked the wait took.
bool RawPush(const char* address, const std::wstring& push, double* overshoot) {
  platform::UniqueFile file(
      CreateFileW(push.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  platform::UniqueSocket socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  sockaddr_in printer = {};
  printer.sin_family = AF_INET;
  printer.sin_port = htons(NET_PRINTER_PORT);
  printer.sin_addr.s_addr = inet_addr(address);
  bool ok = file && socket && connect(socket.get(), reinterpret_cast<sockaddr*>(&printer), sizeof printer) == 0;
  std::vector<char> chunk(kChunkBytes);
  for (DWORD read = 1; ok && read > 0;) {
    ok = ReadFile(file.get(), chunk.data(), kChunkBytes, &read, nullptr) &&
         SendAll(socket.get(), chunk.data(), static_cast<int>(read));
  }
  if (!ok) return false;
  auto waitStart = Clock::now();
  Sleep(kReplyWaitMs);
  *overshoot = SecondsSince(waitStart, kReplyWaitMs);
  uint8_t reply[ACL_RECORD_SIZE] = {};
  for (int received = 0; received < static_cast<int>(ACL_RECORD_SIZE);) {
    int n = recv(socket.get(), reinterpret_cast<char*>(reply) + received, ACL_RECORD_SIZE - received, 0);
    if (n <= 0) return false;
    received += n;
  }
  return ReadBigEndian16(reply + 4) == ACLCMD_STATUS_SUCCESS;
}

// The image opened as DownLoadNewFW opens it, burned to the printer of the engine's context.
bool Burn(const wchar_t* address, const std::wstring& image) {
  InitGlobals(CONNECTION_NETWORK, nullptr, image.c_str(), address);
  platform::UniqueFile file(CreateFileW(image.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && NetBurnFlash(file.get(), FLASH_TARGET_TYPE2);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: corvel_wine_bench PRINTER_ADDRESS [IMAGE_MIB [TURNS]]\n");
    return 2;
  }
  const char* address = argv[1];
  const long mebibytes = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 64;
  const long turns = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 7;
  if (mebibytes < 1 || mebibytes > 1024 || turns < 1) {
    std::fprintf(stderr, "the image size (1 to 1024 MiB) and the turns must be positive numbers\n");
    return 2;
  }
  const std::wstring wideAddress(address, address + std::strlen(address));
  const size_t bytes = static_cast<size_t>(mebibytes) << 20;

  wchar_t temp[MAX_PATH] = {};
  DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return 1;
  const std::wstring folder = std::wstring(temp) + L"corvel_bench_" + std::to_wstring(GetCurrentProcessId());
  const std::wstring image = folder + L"\\TVQ5530n.bin";
  const std::wstring push = folder + L"\\TVQ5530n.prn";
  auto removeFiles = [&] {
    DeleteFileW(image.c_str());
    DeleteFileW(push.c_str());
    RemoveDirectoryW(folder.c_str());
  };
  if (!CreateDirectoryW(folder.c_str(), nullptr) || !MakeFiles(bytes, image, push)) {
    std::fprintf(stderr, "could not write the image and the push file under %ls\n", folder.c_str());
    removeFiles();
    return 1;
  }

  WSADATA winsock = {};
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
    std::fprintf(stderr, "Windows Sockets did not start\n");
    removeFiles();
    return 1;
  }
  std::printf("network burn (NetBurnFlash) next to a raw push of a prepared file in %lu KiB chunks,\n"
              "%ld MiB image, printer %s, %ld turns\n",
              static_cast<unsigned long>(kChunkBytes / 1024), mebibytes, address, turns);
  std::fflush(stdout);
  // The burn, the raw push, and the burn's work before its first byte goes out (file load and
  // checksum), which the raw push does not have. Each turn starts one step further along, so
  // that all meet the same load of the machine.
  const char* const names[] = {"burn", "raw push", "load and checksum"};
  std::vector<double> seconds[3], overshoots;
  bool ok = true;
  for (long turn = 0; ok && turn < turns; ++turn) {
    for (int step = 0; ok && step < 3; ++step) {
      const int which = static_cast<int>((turn + step) % 3);
      auto start = Clock::now();
      double overshoot = 0;
      uint16_t checksum = 0;
      if (which == 0) {
        ok = Burn(wideAddress.c_str(), image);
      } else if (which == 1) {
        ok = RawPush(address, push, &overshoot);
      } else {
        ok = LoadAsTheBurnDoes(image.c_str(), nullptr, &checksum);
      }
      seconds[which].push_back(SecondsSince(start, which == 2 ? 0 : kReplyWaitMs));
      if (which == 1) overshoots.push_back(overshoot);
      if (!ok) std::fprintf(stderr, "the %s failed\n", names[which]);
    }
    if (ok) {
      std::printf("turn %ld: burn %.1f ms, raw push %.1f ms (the reply wait taken off), load and checksum %.1f ms\n",
                  turn + 1, seconds[0].back() * 1e3, seconds[1].back() * 1e3, seconds[2].back() * 1e3);
      std::fflush(stdout);
    }
  }
  WSACleanup();
  removeFiles();
  if (!ok) return 1;

  const double burn = Median(seconds[0]), raw = Median(seconds[1]);
  std::printf("burn_MiB/s=%.1f raw_push_MiB/s=%.1f burn_to_raw=%.3f burn_minus_raw_ms=%.1f load_checksum_ms=%.1f "
              "(medians of %ld)\n",
              mebibytes / burn, mebibytes / raw, raw / burn, (burn - raw) * 1e3, Median(seconds[2]) * 1e3, turns);
  // The wait is taken off at its nominal length, in both; this is how much longer it took.
  std::printf("Sleep(%lu) took %.2f ms longer than asked (median)\n", static_cast<unsigned long>(kReplyWaitMs),
              Median(overshoots) * 1e3);
  return 0;
}
