// GlobalAlloc / GlobalFree: fixed blocks, counted in the leak check.
#include "host/machine.h"
#include "internal.h"
#include "tracked_heap.h"
#include "winhost/kernel.h"

namespace {

host::TrackedHeap& Heap() {
  static host::TrackedHeap* heap = new host::TrackedHeap("global memory");
  return *heap;
}

const bool g_registered = (Heap(), true);

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
  HOST_ENTER("GlobalAlloc", nullptr);
  // Movable blocks (GMEM_MOVEABLE, 0x2) would need GlobalLock; the program uses fixed ones only.
  if (flags & 0x2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Heap().Allocate(bytes, (flags & GMEM_ZEROINIT) != 0);
}

HGLOBAL WINAPI GlobalFree(HGLOBAL memory) { return Heap().Free(memory); }
