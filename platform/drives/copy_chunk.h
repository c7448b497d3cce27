#pragma once

#include <sys/types.h>
#include <cstddef>

#include "platform/system_calls.h"

// The copying of one part of a file, by the kernel where it can, else through a buffer.
namespace platform {

// The largest part a copy goes in, and the size of each copy buffer.
inline constexpr size_t kLargestChunk = 8 << 20;

// Buffers for copying and comparing (0 and 1), allocated once for the whole run: a fresh
// megabyte per file would cost more in page faults than the copy of a small file itself. One
// pair for each thread that copies (the window's and the worker's), kLargestChunk bytes each.
char* CopyBuffer(int which);

// Copies up to `size` bytes of `in` from `offset` to the end of `out` and adds to `*copied`
// how many (fewer only at the end of `in`): by the kernel where it can (`*kernel` turns false
// where it cannot), else through a buffer. Returns 0 or an errno.
int CopyChunk(SystemCalls& system, int in, off_t offset, int out, size_t size, bool* kernel,
              off_t* copied);

}  // namespace platform
