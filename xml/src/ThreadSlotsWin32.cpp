// The per-thread state of the readers on Windows: the node pool's pointer in a TLS slot, and the
// name caches in a fiber-local slot, whose callback destroys them when the thread ends.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "NodePool.h"
#include "SharedName.h"

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

void NTAPI DestroyNameCaches(void* caches) {
  delete static_cast<ThreadNameCaches*>(caches);
}

// The fiber-local slot of NameCachesOfThisThread, taken once for the life of the process.
DWORD NameCachesSlot() {
  static const DWORD slot = [] {
    const DWORD taken = FlsAlloc(&DestroyNameCaches);
    if (taken == FLS_OUT_OF_INDEXES) std::abort();  // the process has used up every slot
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

ThreadNameCaches& NameCachesOfThisThread() {
  const DWORD slot = NameCachesSlot();
  auto* caches = static_cast<ThreadNameCaches*>(FlsGetValue(slot));
  if (caches == nullptr) {
    caches = new ThreadNameCaches;
    if (!FlsSetValue(slot, caches)) {
      delete caches;
      throw std::bad_alloc();
    }
  }
  return *caches;
}

}  // namespace kestrelwing::detail
