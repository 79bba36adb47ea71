// A stand-in for a module of the companion streaming tool. The tests copy it
// under the module names the crash advice looks for ("vidout_b.dll",
// "avpipe.dll", "libx264-140.dll", ...) and the probe loads those copies.
// Built with frame pointers and without sibling calls, so each call below
// leaves a frame of this module on the stack.

#include <cstdint>

extern "C" {

// Calls back into the caller (or into another module) with `depth`.
__attribute__((visibility("default"), noinline)) void ky_call_back(void (*callback)(int), int depth)
{
    callback(depth);
    asm volatile("" ::: "memory");
}

// Faults inside this module.
__attribute__((visibility("default"), noinline)) void ky_fault(int)
{
    volatile std::uintptr_t address = 16;
    *reinterpret_cast<volatile int *>(address) = 0;
    asm volatile("" ::: "memory");
}
}
