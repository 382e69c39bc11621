// GlobalAlloc / GlobalFree: fixed blocks, counted in the leak check.
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "host/machine.h"
#include "winhost/kernel.h"

namespace {

struct GlobalHeap {
  std::mutex lock;
  std::map<void*, SIZE_T> blocks;
};

GlobalHeap& Heap() {
  static GlobalHeap* heap = new GlobalHeap;
  return *heap;
}

const bool g_registered = [] {
  host::RegisterArea(host::Area{"global memory",
                                [] {
                                  std::lock_guard<std::mutex> guard(Heap().lock);
                                  for (const auto& [block, size] : Heap().blocks) std::free(block);
                                  Heap().blocks.clear();
                                },
                                [] {
                                  std::lock_guard<std::mutex> guard(Heap().lock);
                                  std::vector<std::string> open;
                                  for (const auto& [block, size] : Heap().blocks)
                                    open.push_back("global memory of " + std::to_string(size) + " bytes");
                                  return open;
                                }});
  return true;
}();

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  HOST_ENTER("GlobalAlloc", nullptr);
  // Movable blocks (GMEM_MOVEABLE, 0x2) would need GlobalLock; the program uses fixed ones only.
  if (flags & 0x2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block = std::malloc(bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & GMEM_ZEROINIT) std::memset(block, 0, bytes ? bytes : 1);
  std::lock_guard<std::mutex> guard(Heap().lock);
  Heap().blocks[block] = bytes;
  return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) {
  if (!memory) return nullptr;
  std::lock_guard<std::mutex> guard(Heap().lock);
  auto it = Heap().blocks.find(memory);
  if (it == Heap().blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return memory;
  }
  std::free(memory);
  Heap().blocks.erase(it);
  return nullptr;
}
