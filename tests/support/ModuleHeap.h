// Sees the heap allocations that a loaded plugin module makes itself, so a test can check that a
// frame allocates nothing and that create/destroy cycles leave nothing behind. Link
// ModuleHeap.cpp into the test program: it takes over the C allocator (or installs the
// AddressSanitizer allocator hooks) for that program.
//
// Attribution: an allocation belongs to the module when, walking the caller chain outward from
// the allocator, the first frame outside the C and C++ runtime (libc, libstdc++, libgcc_s,
// libm, the dynamic loader, the sanitizer runtime, and this program's own allocator hooks) lies
// inside the module file. So a std::string the module copies counts (operator new is called by
// libstdc++ on the module's behalf), while memory the GL driver takes during a GL call the
// module makes does not (its nearest non-runtime caller is the driver). Only the thread that
// started the watch is observed: the module starts no thread, the driver's own threads are not
// the module's. Host callbacks that the module calls (the log callback) count as the host's.
// A module function that tail-calls the allocator leaves no frame of its own, but its caller is
// module code as well: the only way in, plugMain, holds a try block and so makes no tail call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace testhost {

struct ModuleHeapCounts {
  std::uint64_t allocations = 0;  // module allocations since Start
  std::uint64_t liveBlocks = 0;   // module allocations made since Start and not freed yet
  std::uint64_t liveBytes = 0;
  std::uint64_t unattributed = 0;  // allocations whose caller chain could not be walked
};

class ModuleHeapWatch {
 public:
  // `addressInModule` is any code address of the loaded module (e.g. its plugMain).
  explicit ModuleHeapWatch(const void* addressInModule);
  ~ModuleHeapWatch();
  ModuleHeapWatch(const ModuleHeapWatch&) = delete;
  ModuleHeapWatch& operator=(const ModuleHeapWatch&) = delete;

  // False when the module's code could not be located (the counts would then be meaningless).
  bool ok() const { return located; }

  // Observes the calling thread from now on, with all counts at zero.
  void Start();
  void Stop();
  ModuleHeapCounts Counts() const;

 private:
  bool located = false;
};

}  // namespace testhost
