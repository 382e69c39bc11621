// Fixed memory blocks handed to the program (local and global memory), listed in the leak check
// until freed and freed on reset.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "winhost/base.h"

namespace host {

class TrackedHeap {
 public:
  // Registers the area `name`; its open blocks are listed as "<name> of N bytes".
  explicit TrackedHeap(const std::string& name);
  // A block of `bytes` (at least one), zero-filled when `zero`; null with ERROR_NOT_ENOUGH_MEMORY.
  void* Allocate(SIZE_T bytes, bool zero);
  // Null when freed; the block back with ERROR_INVALID_HANDLE when it is not one of this heap's.
  void* Free(void* block);

 private:
  std::string name_;
  std::mutex lock_;
  std::map<void*, SIZE_T> blocks_;
};

}  // namespace host
