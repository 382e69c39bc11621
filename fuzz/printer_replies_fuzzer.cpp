// The printer's replies as the engine reads them: a scripted device behind the USB device file
// and the parallel port, or a scripted network printer on loopback TCP, answers with the
// input's bytes, in the input's pieces, with time-outs, zero-byte reads, failed writes, closed
// and reset connections. The facade's device-ID, build-information and version queries run on
// it; their outputs must stay inside their buffers and be terminated, and nothing may stay
// open, socket library start-ups included. FUZZ_SHOW=1 prints each query's result.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/engine_context.h"
#include "engine/engine_facade.h"
#include "fuzz_support.h"
#include "host/device_files.h"
#include "host/devices.h"
#include "host/machine.h"
#include "tcp_peer.h"

namespace {

using fuzzing::Check;

const wchar_t kInstanceId[] = L"USB\\VID_7E51&PID_A717\\FUZZ0001";
const wchar_t kHardwareMatch[] = L"VID_7E51&PID_A717";

// What the device does on each read, in order.
struct Step {
  enum Kind { kBytes, kTimeOut, kEmpty } kind;
  std::string bytes;
};

struct DeviceScript {
  std::deque<Step> steps;
  uint8_t failingWrites = 0;  // bit i: the i-th write fails
  int writes = 0;
};

// One handle's end of the scripted device; every handle shares the one script.
class ScriptedEndpoint : public host::device_files::ByteStreamEndpoint {
 public:
  explicit ScriptedEndpoint(std::shared_ptr<DeviceScript> script) : script_(std::move(script)) {}

  DWORD Write(const uint8_t*, size_t) override {
    int index = script_->writes++;
    return index < 8 && (script_->failingWrites >> index & 1) ? ERROR_GEN_FAILURE : 0;
  }

  std::optional<std::vector<uint8_t>> Read(size_t capacity) override {
    std::deque<Step>& steps = script_->steps;
    if (steps.empty()) return std::nullopt;
    Step& step = steps.front();
    if (step.kind != Step::kBytes) {
      bool timeOut = step.kind == Step::kTimeOut;
      steps.pop_front();
      if (timeOut) return std::nullopt;
      return std::vector<uint8_t>();
    }
    size_t count = std::min(capacity, step.bytes.size());
    std::vector<uint8_t> bytes(step.bytes.begin(), step.bytes.begin() + static_cast<long>(count));
    step.bytes.erase(0, count);
    if (step.bytes.empty()) steps.pop_front();
    return bytes;
  }

 private:
  std::shared_ptr<DeviceScript> script_;
};

void AttachScriptedDevices(fuzzing::InputReader& in) {
  auto script = std::make_shared<DeviceScript>();
  script->failingWrites = in.U8();
  while (!in.Empty()) {
    switch (in.U8() % 4) {
      case 0: script->steps.push_back({Step::kBytes, in.Bytes(in.U16())}); break;
      case 2: script->steps.push_back({Step::kEmpty, {}}); break;
      default: script->steps.push_back({Step::kTimeOut, {}}); break;
    }
  }
  // The USB printing device and the parallel port (where a parallel printer's information
  // queries go too).
  host::devices::AddUsbPrintDevice(host::devices::UsbPrintDevice{kInstanceId, L"USB\\VID_7E51&PID_A717", L"7&1a&0"});
  std::wstring path = host::devices::InterfacePathOf(kInstanceId);
  host::devices::Attach(kInstanceId, [script, path](DWORD access, DWORD flags) {
    return host::DeviceOpen{true, host::device_files::NewDevice(path, access, flags, std::make_shared<ScriptedEndpoint>(script)), 0};
  });
  host::device_files::AttachParallelPort([script] { return std::make_shared<ScriptedEndpoint>(script); });
}

void LoadPeerScript(fuzzing::InputReader& in) {
  std::deque<fuzzing::PeerConnection> connections(1);
  while (!in.Empty()) {
    uint8_t op = in.U8() % 4;
    if (op == 0) {
      connections.back().pieces.push_back(in.Bytes(in.U16()));
      continue;
    }
    connections.back().end = op == 1   ? fuzzing::PeerConnection::kHold
                             : op == 2 ? fuzzing::PeerConnection::kClose
                                       : fuzzing::PeerConnection::kReset;
    connections.emplace_back();
  }
  fuzzing::ScriptedPeer::Instance().Load(std::move(connections));
}

// A buffer of exactly `size` bytes on the heap, so that a write past it is caught.
std::unique_ptr<char[]> Buffer(size_t size) {
  std::unique_ptr<char[]> buffer(new char[size]);
  std::memset(buffer.get(), 0x5A, size);
  return buffer;
}

bool Terminated(const char* buffer, size_t size) { return std::memchr(buffer, 0, size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FreshMachine();
  fuzzing::InputReader in(data, size);
  const ConnectionKind kinds[] = {CONNECTION_USB, CONNECTION_NETWORK, CONNECTION_PARALLEL};
  ConnectionKind kind = kinds[in.U8() % 3];
  uint8_t query = in.U8() % 3;

  std::wstring instance;
  if (kind == CONNECTION_NETWORK) {
    const std::string& address = fuzzing::ScriptedPeer::Instance().Address();
    instance.assign(address.begin(), address.end());
    LoadPeerScript(in);
  } else {
    if (kind == CONNECTION_USB) instance = kInstanceId;
    AttachScriptedDevices(in);
  }

  if (query == 2) {
    auto out = Buffer(FACADE_VERSION_BUFFER_SIZE);
    Check(GetVersionString(out.get(), kind, kHardwareMatch, instance.c_str()) == 1, "GetVersionString gives 1");
    Check(Terminated(out.get(), FACADE_VERSION_BUFFER_SIZE), "the version text is terminated");
    char* end = nullptr;
    std::strtol(out.get(), &end, 10);
    Check(std::strcmp(out.get(), "Unknown") == 0 || (*out.get() != '\0' && *end == '\0'),
          "the version text is a number or \"Unknown\"");
    if (std::getenv("FUZZ_SHOW")) std::fprintf(stderr, "version \"%s\"\n", out.get());
  } else {
    auto out = Buffer(FACADE_INFO_BUFFER_SIZE);
    int32_t result = query == 0 ? Get1284String(out.get(), kind, kHardwareMatch, instance.c_str())
                                : BuildInfo(out.get(), kind, kHardwareMatch, instance.c_str());
    Check(result == 0 || result == 1, "an information query gives 1 or 0");
    Check(Terminated(out.get(), FACADE_INFO_BUFFER_SIZE), "the information text is terminated");
    if (std::getenv("FUZZ_SHOW")) std::fprintf(stderr, "result %d: \"%s\"\n", result, out.get());
  }
  if (kind == CONNECTION_NETWORK) fuzzing::ScriptedPeer::Instance().WaitServed(host::CallCount("connect"));
  fuzzing::CheckNothingLeftOpen("the query");
  return 0;
}
