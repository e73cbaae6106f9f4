// Memory for the nodes of one large document, taken from the heap in few, large pieces.
#pragma once

#include <cstddef>

namespace kestrelwing::detail {

// Hands out blocks carved from chunks of kChunkBytes, each aligned to its size so that a block
// finds its chunk from its own address. A chunk counts the blocks carved from it that are still
// alive and goes back to the heap when the last of them is released and the pool has moved on
// to another chunk (or is gone). A node kept after its document has gone therefore keeps at most
// one chunk alive besides its own subtree. Blocks may be released on any thread.
class NodePool {
 public:
  static constexpr std::size_t kChunkBytes = std::size_t{64} << 10;

  NodePool() = default;
  ~NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  // A block of bytes aligned for any object; a large one gets a chunk of its own.
  void* Allocate(std::size_t bytes);
  static void Release(void* block) noexcept;

 private:
  struct Chunk;
  static Chunk* NewChunk(std::size_t bytes);
  void Retire() noexcept;

  Chunk* chunk_ = nullptr;
  std::ptrdiff_t carved_ = 0;  // blocks carved from chunk_
  std::byte* next_ = nullptr;
  std::byte* end_ = nullptr;
};

// Allocates from a pool: std::allocate_shared puts a node and its reference counts in one block.
template <typename T>
class NodePoolAllocator {
 public:
  using value_type = T;

  explicit NodePoolAllocator(NodePool& pool) : pool_(&pool) {}
  template <typename U>
  NodePoolAllocator(const NodePoolAllocator<U>& other) : pool_(other.pool_) {}

  T* allocate(std::size_t n) { return static_cast<T*>(pool_->Allocate(n * sizeof(T))); }
  void deallocate(T* block, std::size_t) noexcept { NodePool::Release(block); }

  template <typename U>
  bool operator==(const NodePoolAllocator<U>& other) const {
    return pool_ == other.pool_;
  }

 private:
  template <typename U>
  friend class NodePoolAllocator;
  NodePool* pool_;
};

}  // namespace kestrelwing::detail
