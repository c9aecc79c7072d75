// The room a conversion takes, and whether the system can still give it.
//
// A text of n bytes is converted within 3 x n + 20 MB, the text itself included (the reading,
// the converted text and the record it leaves; bench/memory_bound.py measures it), so beyond
// the text already read it takes up to 2 x n + 20 MB more. A text the system cannot give that
// much is refused before any of it is taken, with std::bad_alloc, which the run turns into
// "out of memory" (101) for that file alone (the drivers ask before they convert a file they
// read): better than an allocation failing halfway, or, where the kernel promises memory it
// does not have, the out-of-memory killer ending the whole run. What the system can still give is the least of
//  - the address space the process may still map (its RLIMIT_AS less what it maps now);
//  - the memory the kernel counts as available, with the free swap;
//  - what is left under the memory limit of the process's control group (v2 or v1).
// Texts under kCheckedFrom are not looked at: their room is the 20 MB any run has.
//
// Contract: reads /proc and /sys only, keeps nothing between calls; a figure it cannot read
// sets no limit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sarnavel {

inline constexpr std::size_t kCheckedFrom = std::size_t{1} << 20;

// The bytes a conversion of a text of `size` bytes, already read, takes at most beyond it.
std::uint64_t roomToConvert(std::size_t size);

// The bytes the system can still give this process (UINT64_MAX when nothing says).
std::uint64_t roomTheSystemGives();

// Throws std::bad_alloc when a text of `size` bytes (kCheckedFrom or more) needs more room than
// the system can still give.
void requireRoomToConvert(std::size_t size);

}  // namespace sarnavel
