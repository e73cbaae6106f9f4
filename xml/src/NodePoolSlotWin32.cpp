// The node pool's per-thread pointer on Windows: a TLS slot.
#include <windows.h>

#include <cstdlib>

#include "NodePool.h"

namespace kestrelwing::detail {
namespace {

// The TLS slot of CurrentNodePool, taken once for the life of the process.
DWORD CurrentNodePoolSlot() {
  static const DWORD slot = [] {
    const DWORD taken = TlsAlloc();
    if (taken == TLS_OUT_OF_INDEXES) std::abort();  // the process has used up every slot
    return taken;
  }();
  return slot;
}

}  // namespace

// TlsGetValue also clears the thread's last error, as any allocation may.

void* CurrentNodePool() {
  return TlsGetValue(CurrentNodePoolSlot());
}

void SetCurrentNodePool(void* pool) {
  TlsSetValue(CurrentNodePoolSlot(), pool);
}

}  // namespace kestrelwing::detail
