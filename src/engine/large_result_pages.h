// Asks the kernel to back the room of a large result with 2 MB pages.
//
// A result's room is freshly mapped memory, and the kernel faults it in 4 KB at a time as the
// converter first writes each page: on a virtual machine each fault costs several microseconds,
// which on a text of tens of megabytes takes longer than the conversion itself. Where the
// system leaves transparent huge pages to the program's advice (the `madvise` mode most
// distributions ship), a result of kLargeResult bytes or more is advised to take 2 MB pages,
// 512 times fewer faults. Rooms smaller than that (every ordinary page) are left alone: they
// mostly come from memory the allocator already holds.
//
// Contract: only advice; no byte of the room is touched or changes, and a system without huge
// pages (or one that refuses) simply keeps its 4 KB pages.
#pragma once

#include <cstddef>

namespace sarnavel {

inline constexpr std::size_t kLargeResult = std::size_t{8} << 20;

// Advises the whole 2 MB pages inside [data, data + size) when size >= kLargeResult.
void adviseLargeResultPages(char* data, std::size_t size);

}  // namespace sarnavel
