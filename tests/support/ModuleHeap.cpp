// The allocator side of ModuleHeapWatch. Without AddressSanitizer this program replaces the C
// allocator entry points (forwarding to glibc's __libc_* functions); libstdc++'s operator new
// and every library reach them through the dynamic linker. Under AddressSanitizer, which owns
// malloc, the sanitizer's allocation hooks are used instead. Either way the hook code below
// lives in its own section, so the caller walk can step over it exactly, and it never
// allocates: the unwinder may allocate while it runs (libgcc does so for JIT-registered frames),
// and such nested allocations pass through untouched.
#include "tests/support/ModuleHeap.h"

#include <dlfcn.h>
#include <link.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define VEX_HEAP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEX_HEAP_ASAN 1
#endif
#endif

#if defined(VEX_HEAP_ASAN)
#include <sanitizer/allocator_interface.h>
#endif

// Everything on the allocation path goes into this section; the linker provides its bounds.
#define HEAP_HOOK __attribute__((section("vex_heap_hooks"), noinline))
extern "C" const char __start_vex_heap_hooks[];
extern "C" const char __stop_vex_heap_hooks[];

namespace {

struct CodeRange {
  std::uintptr_t begin;
  std::uintptr_t end;
};

constexpr int kMaxModuleRanges = 8;
constexpr int kMaxRuntimeRanges = 64;
constexpr int kMaxFrames = 64;

// Filled by Locate, on the observed thread, before observation starts; read-only afterwards.
CodeRange moduleRanges[kMaxModuleRanges];
int moduleRangeCount = 0;
CodeRange runtimeRanges[kMaxRuntimeRanges];
int runtimeRangeCount = 0;

__attribute__((tls_model("initial-exec"))) thread_local bool observedThread = false;
__attribute__((tls_model("initial-exec"))) thread_local bool insideHook = false;

std::atomic<std::uint64_t> allocationCount{0};
std::atomic<std::uint64_t> unattributedCount{0};
std::atomic<std::uint64_t> liveBlockCount{0};
std::atomic<std::uint64_t> liveByteCount{0};

// Live module blocks: open addressing with linear probing, guarded by a spin lock because any
// thread may free a block.
constexpr std::size_t kTableBits = 16;
constexpr std::size_t kTableSize = std::size_t{1} << kTableBits;
constexpr std::size_t kTableMask = kTableSize - 1;
constexpr std::size_t kTableLimit = kTableSize / 2;
struct LiveBlock {
  std::uintptr_t address;
  std::size_t size;
};
LiveBlock liveTable[kTableSize];
std::size_t liveTableUsed = 0;
std::atomic_flag tableLock = ATOMIC_FLAG_INIT;

HEAP_HOOK std::size_t HomeSlot(std::uintptr_t address) {
  return static_cast<std::size_t>(((address >> 4) * 0x9E3779B97F4A7C15ull) >> (64 - kTableBits));
}

HEAP_HOOK void LockTable() {
  while (tableLock.test_and_set(std::memory_order_acquire)) {
  }
}

HEAP_HOOK void UnlockTable() {
  tableLock.clear(std::memory_order_release);
}

HEAP_HOOK void InsertLive(std::uintptr_t address, std::size_t size) {
  LockTable();
  if (liveTableUsed < kTableLimit) {
    std::size_t slot = HomeSlot(address);
    while (liveTable[slot].address != 0) slot = (slot + 1) & kTableMask;
    liveTable[slot] = {address, size};
    ++liveTableUsed;
    liveBlockCount.fetch_add(1, std::memory_order_relaxed);
    liveByteCount.fetch_add(size, std::memory_order_relaxed);
  } else {
    unattributedCount.fetch_add(1, std::memory_order_relaxed);  // cannot follow it any more
  }
  UnlockTable();
}

// Linear-probing removal with backward shift, so no tombstones build up.
HEAP_HOOK void EraseLive(std::uintptr_t address) {
  LockTable();
  std::size_t slot = HomeSlot(address);
  while (liveTable[slot].address != 0 && liveTable[slot].address != address) {
    slot = (slot + 1) & kTableMask;
  }
  if (liveTable[slot].address == address) {
    liveBlockCount.fetch_sub(1, std::memory_order_relaxed);
    liveByteCount.fetch_sub(liveTable[slot].size, std::memory_order_relaxed);
    --liveTableUsed;
    std::size_t hole = slot;
    std::size_t next = slot;
    for (;;) {
      next = (next + 1) & kTableMask;
      if (liveTable[next].address == 0) break;
      const std::size_t home = HomeSlot(liveTable[next].address);
      // Move the entry into the hole unless its home lies cyclically in (hole, next].
      const bool homeBetween =
          hole <= next ? (home > hole && home <= next) : (home > hole || home <= next);
      if (!homeBetween) {
        liveTable[hole] = liveTable[next];
        hole = next;
      }
    }
    liveTable[hole] = {0, 0};
  }
  UnlockTable();
}

HEAP_HOOK bool InRanges(std::uintptr_t pc, const CodeRange* ranges, int count) {
  for (int i = 0; i < count; ++i) {
    if (pc >= ranges[i].begin && pc < ranges[i].end) return true;
  }
  return false;
}

struct CallerWalk {
  std::uintptr_t frames[kMaxFrames];
  int count;
};

HEAP_HOOK _Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void* argument) {
  CallerWalk* walk = static_cast<CallerWalk*>(argument);
  const std::uintptr_t ip = _Unwind_GetIP(context);
  if (ip == 0) return _URC_END_OF_STACK;
  walk->frames[walk->count++] = ip - 1;  // inside the call instruction, not after it
  return walk->count < kMaxFrames ? _URC_NO_REASON : _URC_END_OF_STACK;
}

enum class Owner { Module, Other, Unknown };

HEAP_HOOK Owner OwnerOfAllocation() {
  CallerWalk walk;
  walk.count = 0;
  _Unwind_Backtrace(CollectFrame, &walk);
  const auto hooksBegin = reinterpret_cast<std::uintptr_t>(__start_vex_heap_hooks);
  const auto hooksEnd = reinterpret_cast<std::uintptr_t>(__stop_vex_heap_hooks);
  for (int i = 0; i < walk.count; ++i) {
    const std::uintptr_t pc = walk.frames[i];
    if (pc >= hooksBegin && pc < hooksEnd) continue;
    if (InRanges(pc, runtimeRanges, runtimeRangeCount)) continue;
    return InRanges(pc, moduleRanges, moduleRangeCount) ? Owner::Module : Owner::Other;
  }
  return Owner::Unknown;
}

HEAP_HOOK void OnAllocate(const volatile void* block, std::size_t size) {
  if (!observedThread || insideHook || !block) return;
  insideHook = true;
  switch (OwnerOfAllocation()) {
    case Owner::Module:
      allocationCount.fetch_add(1, std::memory_order_relaxed);
      InsertLive(reinterpret_cast<std::uintptr_t>(block), size);
      break;
    case Owner::Unknown:
      unattributedCount.fetch_add(1, std::memory_order_relaxed);
      break;
    case Owner::Other:
      break;
  }
  insideHook = false;
}

HEAP_HOOK void OnFree(const volatile void* block) {
  if (!block || liveBlockCount.load(std::memory_order_relaxed) == 0) return;
  EraseLive(reinterpret_cast<std::uintptr_t>(block));
}

bool IsRuntimeLibrary(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* name = slash ? slash + 1 : path;
  static const char* const kRuntimePrefixes[] = {
      "libc.so", "libstdc++.so", "libgcc_s.so", "libm.so",  "ld-linux",     "libpthread.",
      "libdl.",  "libasan.",     "libubsan.",   "liblsan.", "libclang_rt.",
  };
  for (const char* prefix : kRuntimePrefixes) {
    if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

struct LocateRequest {
  std::uintptr_t moduleAddress;
  bool moduleFound;
};

int LocateObject(dl_phdr_info* info, std::size_t, void* argument) {
  LocateRequest* request = static_cast<LocateRequest*>(argument);
  CodeRange ranges[kMaxModuleRanges];
  int count = 0;
  bool containsModuleAddress = false;
  for (int i = 0; i < info->dlpi_phnum && count < kMaxModuleRanges; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || !(header.p_flags & PF_X)) continue;
    const std::uintptr_t begin = info->dlpi_addr + header.p_vaddr;
    ranges[count++] = {begin, begin + header.p_memsz};
    if (request->moduleAddress >= begin && request->moduleAddress < begin + header.p_memsz) {
      containsModuleAddress = true;
    }
  }
  if (containsModuleAddress) {
    for (int i = 0; i < count; ++i) moduleRanges[i] = ranges[i];
    moduleRangeCount = count;
    request->moduleFound = true;
  } else if (info->dlpi_name && IsRuntimeLibrary(info->dlpi_name)) {
    for (int i = 0; i < count && runtimeRangeCount < kMaxRuntimeRanges; ++i) {
      runtimeRanges[runtimeRangeCount++] = ranges[i];
    }
  }
  return 0;
}

#if defined(VEX_HEAP_ASAN)
HEAP_HOOK void SanitizerMallocHook(const volatile void* block, std::size_t size) {
  OnAllocate(block, size);
}
HEAP_HOOK void SanitizerFreeHook(const volatile void* block) {
  OnFree(block);
}

void InstallHooks() {
  static const bool installed =
      __sanitizer_install_malloc_and_free_hooks(SanitizerMallocHook, SanitizerFreeHook) != 0;
  (void)installed;
}
#else
void InstallHooks() {}
#endif

}  // namespace

#if !defined(VEX_HEAP_ASAN)
// glibc's own allocator under its exported internal names; the replacements below forward to it,
// so blocks from either side may be freed by the other.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);

HEAP_HOOK void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  OnAllocate(block, size);
  return block;
}

HEAP_HOOK void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  OnAllocate(block, count * size);
  return block;
}

HEAP_HOOK void* realloc(void* block, std::size_t size) {
  void* moved = __libc_realloc(block, size);
  if (block && (moved || size == 0)) OnFree(block);
  OnAllocate(moved, size);
  return moved;
}

HEAP_HOOK void free(void* block) {
  OnFree(block);
  __libc_free(block);
}

HEAP_HOOK void* memalign(std::size_t alignment, std::size_t size) {
  void* block = __libc_memalign(alignment, size);
  OnAllocate(block, size);
  return block;
}

HEAP_HOOK void* aligned_alloc(std::size_t alignment, std::size_t size) {
  return memalign(alignment, size);
}

HEAP_HOOK int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  void* block = memalign(alignment, size);
  if (!block) return ENOMEM;
  *result = block;
  return 0;
}
}  // extern "C"
#endif

namespace testhost {

ModuleHeapWatch::ModuleHeapWatch(const void* addressInModule) {
  InstallHooks();
  moduleRangeCount = 0;
  runtimeRangeCount = 0;
  LocateRequest request{reinterpret_cast<std::uintptr_t>(addressInModule), false};
  dl_iterate_phdr(LocateObject, &request);
  located = request.moduleFound && addressInModule != nullptr;
}

ModuleHeapWatch::~ModuleHeapWatch() {
  Stop();
}

void ModuleHeapWatch::Start() {
  Stop();
  LockTable();
  std::memset(liveTable, 0, sizeof liveTable);
  liveTableUsed = 0;
  liveBlockCount = 0;
  liveByteCount = 0;
  UnlockTable();
  allocationCount = 0;
  unattributedCount = 0;
  observedThread = true;
}

void ModuleHeapWatch::Stop() {
  observedThread = false;
}

ModuleHeapCounts ModuleHeapWatch::Counts() const {
  ModuleHeapCounts counts;
  counts.allocations = allocationCount.load();
  counts.liveBlocks = liveBlockCount.load();
  counts.liveBytes = liveByteCount.load();
  counts.unattributed = unattributedCount.load();
  return counts;
}

}  // namespace testhost
