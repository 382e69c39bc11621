#include "tracked_heap.h"

#include <cstdlib>
#include <cstring>

#include "host/machine.h"
#include "internal.h"
#include "winhost/kernel.h"

namespace host {

TrackedHeap::TrackedHeap(const std::string& name) : name_(name) {
  RegisterArea(Area{name,
                    [this] {
                      std::lock_guard<std::mutex> guard(lock_);
                      for (const auto& [block, size] : blocks_) std::free(block);
                      blocks_.clear();
                    },
                    [this] {
                      std::lock_guard<std::mutex> guard(lock_);
                      std::vector<std::string> open;
                      for (const auto& [block, size] : blocks_)
                        open.push_back(name_ + " of " + std::to_string(size) + " bytes");
                      return open;
                    }});
}

void* TrackedHeap::Allocate(SIZE_T bytes, bool zero) {
  void* block = std::malloc(bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (zero) std::memset(block, 0, bytes ? bytes : 1);
  std::lock_guard<std::mutex> guard(lock_);
  blocks_[block] = bytes;
  return block;
}

void* TrackedHeap::Free(void* block) {
  if (!block) return nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  auto it = blocks_.find(block);
  if (it == blocks_.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return block;
  }
  std::free(block);
  blocks_.erase(it);
  return nullptr;
}

}  // namespace host
