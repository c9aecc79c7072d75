// The byte converter's output: bytes written through a raw pointer, a few at a time, that end
// up in one std::string.
//
// Contract: put() may be called k times after reserve(k), for k up to kMaxReserve; append()
// takes any length; finish() hands over everything written, in order, and leaves the sink
// empty. Not shared between threads.
//
// Design note. A std::string cannot be given room without writing every byte of it (resize
// fills with zeros), and filling a fresh output buffer of 1.5 × the input before the
// converter writes it costs as much as the conversion itself on a large text: every page is
// mapped, zeroed, filled and written again. So the result only reserves its capacity (which
// maps nothing until it is written), and the converter writes into a small block of the
// sink's own that stays in the first-level cache; each full block goes to the result with one
// copy. Long runs (ASCII passed through) go to the result directly.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace sarnavel {

class ByteSink {
 public:
  static constexpr std::size_t kMaxReserve = 4096;

  // `expected`: how many bytes the result will probably hold (more are taken all the same).
  explicit ByteSink(std::size_t expected) { result_.reserve(expected); }
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;

  // Makes room for k more bytes (k <= kMaxReserve); put() may then be called k times.
  void reserve(std::size_t k) {
    if (static_cast<std::size_t>(end() - at_) < k) flush();
  }
  void put(std::uint8_t b) { *at_++ = static_cast<char>(b); }
  // Writes the 1 to 3 bytes of a packed table entry (length in the low byte, then the bytes).
  void putPacked(std::uint32_t packed) {
    reserve(4);
    const std::uint32_t bytes = packed >> 8;
    static_assert(std::endian::native == std::endian::little, "the packed tables hold their first byte lowest");
    std::memcpy(at_, &bytes, 4);
    at_ += packed & 0xFF;
  }
  void append(const char* s, std::size_t n) {
    if (static_cast<std::size_t>(end() - at_) >= n) {
      std::memcpy(at_, s, n);
      at_ += n;
      return;
    }
    flush();
    if (n >= kBlock / 2) {
      result_.append(s, n);
      return;
    }
    std::memcpy(at_, s, n);
    at_ += n;
  }
  std::string finish() {
    flush();
    return std::move(result_);
  }

 private:
  static constexpr std::size_t kBlock = kMaxReserve;

  char* end() { return block_ + kBlock; }
  void flush() {
    result_.append(block_, static_cast<std::size_t>(at_ - block_));
    at_ = block_;
  }

  std::string result_;
  char block_[kBlock];
  char* at_ = block_;
};

}  // namespace sarnavel
