#pragma once

#include <cstdint>

// The stack pointer where the caller stands. Around a call through a function pointer it must
// not change: on x86 a __stdcall callee removes its arguments, and one built with another
// convention leaves it moved.
#if defined(__i386__)
__attribute__((always_inline)) inline uintptr_t StackPointer() {
    uintptr_t sp;
    asm volatile("mov %%esp, %0" : "=r"(sp));
    return sp;
}
#else
// One calling convention only: nothing can go wrong that way.
inline uintptr_t StackPointer() {
    return 0;
}
#endif
