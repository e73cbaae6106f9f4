// Memory for the nodes of one large document, taken from the heap in few, large pieces.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace kestrelwing::detail {

// One pointer of each thread's own: the pool that node memory comes from while the thread reads a
// document. Read for every allocation, so it must be cheap: MinGW's thread_local is emulated (a
// library call and a lookup on every use), while a Windows TLS slot is one read
// (ThreadSlotsWin32.cpp).
#ifdef _WIN32
void* CurrentNodePool();
void SetCurrentNodePool(void* pool);
#else
inline thread_local void* currentNodePool = nullptr;
inline void* CurrentNodePool() {
  return currentNodePool;
}
inline void SetCurrentNodePool(void* pool) {
  currentNodePool = pool;
}
#endif

// Hands out blocks carved from chunks of kChunkBytes; each block starts after the address of its
// chunk (none for a block taken from the heap outside any pool). A chunk counts the blocks
// carved from it that are still alive and goes back to the heap when the last of them is released
// and the pool has moved on to another chunk (or is gone). A node kept after its document has
// gone therefore keeps alive the chunks of its own blocks (node, child list and property table:
// one chunk, or a few where they lie apart) besides its own subtree. Blocks may be released on
// any thread.
class NodePool {
 public:
  // Chunks are ordinary heap blocks, small enough to come from the heap's arena: larger ones
  // would be mapped from the system and unmapped again for every document, page faults included.
  static constexpr std::size_t kChunkBytes = std::size_t{32} << 10;

  NodePool() = default;
  // The first chunk for the tree of a document of that many characters: about what such a tree
  // takes (three bytes a character), at most kChunkBytes. Each next chunk is twice the one
  // before, up to kChunkBytes, so that a small document leaves little room unused.
  static std::size_t FirstChunkFor(std::size_t characters);
  explicit NodePool(std::size_t firstChunkBytes) : chunkBytes_(firstChunkBytes) {}
  ~NodePool();
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;

  // Blocks are aligned to kAlignment, enough for nodes and property tables.
  static constexpr std::size_t kAlignment = 8;

  // A block of bytes; a large one gets a chunk of its own. Released by ReleaseNodeMemory.
  void* Allocate(std::size_t bytes);
  // Where the block that AllocateNodeMemory carves next on this thread would start, and the most
  // bytes it may have to start there; nothing without a pool. The caller may write there first
  // and then take the block, as long as nothing else is carved in between.
  static std::span<std::byte> NextRoom() noexcept;
  // Gives back the end of a block that AllocateNodeMemory just took, bytes long, so that it is
  // newBytes long (at least 1); false, and nothing changes, when it was not the last carved.
  static bool ShrinkLast(void* block, std::size_t bytes, std::size_t newBytes) noexcept;

  // The pool that AllocateNodeMemory carves from on this thread while the scope lasts; without
  // one, blocks come from the heap.
  class Scope {
   public:
    explicit Scope(NodePool& pool) : previous_(Current()) { SetCurrentNodePool(&pool); }
    ~Scope() { SetCurrentNodePool(previous_); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    NodePool* previous_;
  };

 private:
  friend void* AllocateNodeMemory(std::size_t bytes);
  friend void ReleaseNodeMemory(void* block) noexcept;

  struct Chunk;
  void* AllocateSlowly(std::size_t bytes);
  static Chunk* NewChunk(std::size_t bytes);
  static void* Place(Chunk* chunk, std::byte* at) noexcept;
  static void Free(Chunk* chunk) noexcept;
  void Retire() noexcept;

  static NodePool* Current() { return static_cast<NodePool*>(CurrentNodePool()); }

  std::size_t chunkBytes_ = kChunkBytes;  // of the next chunk
  Chunk* chunk_ = nullptr;
  std::ptrdiff_t carved_ = 0;  // blocks carved from chunk_
  std::byte* next_ = nullptr;
  std::byte* end_ = nullptr;
};

// The pool a reader carves a document's tree from, in use on this thread while it lives. A
// document of a kilobyte or more gets one, its first chunk sized to the document; a smaller one
// takes its blocks from the heap, one each, so that a tiny document takes no chunk.
class DocumentPool {
 public:
  static constexpr std::size_t kPooledFrom = std::size_t{1} << 10;  // characters

  explicit DocumentPool(std::size_t characters) : pool_(NodePool::FirstChunkFor(characters)) {
    if (characters >= kPooledFrom) scope_.emplace(pool_);
  }

 private:
  NodePool pool_;
  std::optional<NodePool::Scope> scope_;
};

}  // namespace kestrelwing::detail
