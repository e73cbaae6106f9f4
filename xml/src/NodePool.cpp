#include "NodePool.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

namespace kestrelwing::detail {
namespace {

constexpr std::size_t kAlignment = NodePool::kAlignment;
static_assert(kAlignment == 8, "AllocateNodeMemory promises blocks aligned to 8");
constexpr std::size_t kLargeBlock = NodePool::kChunkBytes / 8;

constexpr std::size_t RoundUp(std::size_t bytes) {
  return (bytes + kAlignment - 1) & ~(kAlignment - 1);
}

}  // namespace

// live counts the released blocks negatively while the pool still carves from the chunk; on
// retirement the number carved is added, so it reaches 0 exactly when the last block goes.
struct alignas(kAlignment) NodePool::Chunk {
  std::atomic<std::ptrdiff_t> live{0};
};

namespace {

constexpr std::size_t kHeader = RoundUp(sizeof(std::atomic<std::ptrdiff_t>));
constexpr std::size_t kBlockHeader = RoundUp(sizeof(void*));

// What a block of bytes takes from a chunk: the chunk's address, then at least one byte.
constexpr std::size_t BlockBytes(std::size_t bytes) {
  return kBlockHeader + RoundUp(bytes == 0 ? 1 : bytes);
}

}  // namespace

std::size_t NodePool::FirstChunkFor(std::size_t characters) {
  constexpr std::size_t kStep = std::size_t{1} << 10;
  if (characters >= kChunkBytes / 3) return kChunkBytes;
  return (3 * characters + kStep - 1) / kStep * kStep;
}

NodePool::~NodePool() {
  Retire();
}

NodePool::Chunk* NodePool::NewChunk(std::size_t bytes) {
  return new (::operator new(bytes)) Chunk;
}

// Each block is preceded by the address of its chunk. Most blocks fit into the current chunk.
void* NodePool::Allocate(std::size_t bytes) {
  if (bytes <= kLargeBlock) {
    const std::size_t size = BlockBytes(bytes);
    if (size <= static_cast<std::size_t>(end_ - next_)) {
      std::byte* const at = next_;
      next_ += size;
      ++carved_;
      return Place(chunk_, at);
    }
  }
  return AllocateSlowly(bytes);
}

// A block of a chunk of its own, or the first of a fresh chunk.
void* NodePool::AllocateSlowly(std::size_t bytes) {
  if (bytes > SIZE_MAX - kHeader - kBlockHeader - kAlignment) throw std::bad_alloc();
  bytes = BlockBytes(bytes);
  if (bytes > kLargeBlock) {
    Chunk* own = NewChunk(kHeader + bytes);
    own->live.store(1, std::memory_order_relaxed);  // retired at once, with its one block
    return Place(own, reinterpret_cast<std::byte*>(own) + kHeader);
  }
  // A first chunk may be smaller than the block; the next chunks grow.
  std::size_t chunkBytes = chunkBytes_;
  while (chunkBytes < kHeader + bytes)
    chunkBytes *= 2;
  chunkBytes_ = std::min(2 * chunkBytes, kChunkBytes);
  Chunk* fresh = NewChunk(chunkBytes);
  Retire();
  chunk_ = fresh;
  carved_ = 1;
  next_ = reinterpret_cast<std::byte*>(fresh) + kHeader + bytes;
  end_ = reinterpret_cast<std::byte*>(fresh) + chunkBytes;
  return Place(fresh, reinterpret_cast<std::byte*>(fresh) + kHeader);
}

std::span<std::byte> NodePool::NextRoom() noexcept {
  NodePool* const pool = Current();
  if (pool == nullptr || pool->chunk_ == nullptr) return {};
  std::byte* const at = pool->next_ + kBlockHeader;
  if (at >= pool->end_) return {};
  return {at, std::min(static_cast<std::size_t>(pool->end_ - at), kLargeBlock)};
}

bool NodePool::ShrinkLast(void* block, std::size_t bytes, std::size_t newBytes) noexcept {
  NodePool* const pool = Current();
  std::byte* const start = static_cast<std::byte*>(block);
  if (pool == nullptr || pool->next_ != start + RoundUp(bytes)) return false;
  pool->next_ = start + RoundUp(newBytes == 0 ? 1 : newBytes);
  return true;
}

void* NodePool::Place(Chunk* chunk, std::byte* at) noexcept {
  std::memcpy(at, &chunk, sizeof chunk);
  return at + kBlockHeader;
}

void* AllocateNodeMemory(std::size_t bytes) {
  if (NodePool* const pool = NodePool::Current()) return pool->Allocate(bytes);
  if (bytes > SIZE_MAX - kBlockHeader) throw std::bad_alloc();
  return NodePool::Place(nullptr, static_cast<std::byte*>(::operator new(kBlockHeader + bytes)));
}

void ReleaseNodeMemory(void* block) noexcept {
  std::byte* const start = static_cast<std::byte*>(block) - kBlockHeader;
  NodePool::Chunk* chunk;
  std::memcpy(&chunk, start, sizeof chunk);
  if (chunk == nullptr) {
    ::operator delete(start);
  } else if (chunk->live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    NodePool::Free(chunk);
  }
}

void NodePool::Free(Chunk* chunk) noexcept {
  chunk->~Chunk();
  ::operator delete(chunk);
}

void NodePool::Retire() noexcept {
  if (chunk_ == nullptr) return;
  Chunk* chunk = std::exchange(chunk_, nullptr);
  if (chunk->live.fetch_add(carved_, std::memory_order_acq_rel) + carved_ == 0) {
    Free(chunk);
  }
}

}  // namespace kestrelwing::detail
