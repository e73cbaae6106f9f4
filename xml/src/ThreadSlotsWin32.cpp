// The per-thread state of the readers on Windows: the node pool's pointer in a TLS slot, and the
// name caches in a fiber-local slot, whose callback hands them on when the thread ends.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "NodePool.h"
#include "SharedName.h"

namespace kestrelwing::detail {
namespace {

// A TLS or fiber-local slot just taken; a process that has used up every slot cannot go on.
static_assert(TLS_OUT_OF_INDEXES == FLS_OUT_OF_INDEXES);
DWORD Taken(DWORD slot) {
  if (slot == TLS_OUT_OF_INDEXES) std::abort();
  return slot;
}

// The TLS slot of CurrentNodePool, taken once for the life of the process.
DWORD CurrentNodePoolSlot() {
  static const DWORD slot = Taken(TlsAlloc());
  return slot;
}

// The caches of threads that ended wait here for the next thread that reads; they are never
// freed. A callback at the end of a thread also runs when the process ends, after its other
// threads were stopped wherever they were, the heap's lock perhaps held: it must not touch the
// heap, and linking the caches into a lock-free list does not.
struct alignas(MEMORY_ALLOCATION_ALIGNMENT) ParkedCaches {
  SLIST_ENTRY entry;  // first: the list links the caches by their address
  ThreadNameCaches caches;
};

PSLIST_HEADER Parked() {
  alignas(MEMORY_ALLOCATION_ALIGNMENT) static SLIST_HEADER parked;
  static const PSLIST_HEADER head = [] {
    InitializeSListHead(&parked);
    return &parked;
  }();
  return head;
}

void NTAPI ParkNameCaches(void* caches) {
  InterlockedPushEntrySList(Parked(), &static_cast<ParkedCaches*>(caches)->entry);
}

// The fiber-local slot of NameCachesOfThisThread, taken once for the life of the process.
DWORD NameCachesSlot() {
  static const DWORD slot = [] {
    Parked();  // ready before any callback can run
    return Taken(FlsAlloc(&ParkNameCaches));
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
  auto* caches = static_cast<ParkedCaches*>(FlsGetValue(slot));
  if (caches == nullptr) {
    caches = reinterpret_cast<ParkedCaches*>(InterlockedPopEntrySList(Parked()));
    if (caches == nullptr) caches = new ParkedCaches;
    if (!FlsSetValue(slot, caches)) {
      ParkNameCaches(caches);
      throw std::bad_alloc();
    }
  }
  return caches->caches;
}

}  // namespace kestrelwing::detail
