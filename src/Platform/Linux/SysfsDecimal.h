// The read of one decimal sysfs value: one pread of a descriptor kept open
// and a parse of its text, as std::from_chars reads an int64_t. Inline, in
// the handles' request paths, because with the read it is the whole of a
// temperature request's own work. A failed read notes the attribute and errno
// for the failure book (SysfsAttribute.h).
#pragma once

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

// Notes that this thread's latest access, to attribute `name`, failed with
// errno `err` (0: the file held no decimal value or was no regular file), and
// gives the device error number that stands for it.
uint32_t NoteSysfsFailure(const char* name, int err);

namespace sysfs_detail {

// Bytes of a text that may be read past its end: ParseDecimal reads a whole
// word at a time, and the bytes after the text are zero.
constexpr std::size_t kWordBytes = 8;
static_assert(std::endian::native == std::endian::little, "the first byte is the lowest lane");

// A value of fewer than eight digits (every temperature, state and trip a
// driver reports) read as one word: the digits' count in `count` and their
// value, or false when eight or more digits follow.
inline bool ParseShortDecimal(const unsigned char* at, uint64_t& magnitude, unsigned& count) {
  uint64_t word = 0;
  std::memcpy(&word, at, sizeof(word));
  // A byte is a digit when its high nibble is 3 and its low nibble at most 9;
  // each other byte leaves a bit set in its own lane of `other`.
  const uint64_t low = word & 0x0F0F0F0F0F0F0F0FULL;
  const uint64_t other = ((word & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
                         ((low + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL);
  if (other == 0) {
    return false;
  }
  count = static_cast<unsigned>(__builtin_ctzll(other)) / 8;  // the first lane is the first byte
  if (count == 0) {
    return true;  // no digit; the shift below would be by 64
  }
  // The digits moved to the top lanes behind leading zeros, then paired,
  // quadrupled and joined by multiplication.
  uint64_t v = low << (64 - 8 * count);
  v = v * 10 + (v >> 8);
  constexpr uint64_t kLanes = 0x000000FF000000FFULL;
  constexpr uint64_t kHundredAndMillion = 100 + (1000000ULL << 32);
  constexpr uint64_t kOneAndTenThousand = 1 + (10000ULL << 32);
  magnitude = ((v & kLanes) * kHundredAndMillion + ((v >> 16) & kLanes) * kOneAndTenThousand) >> 32;
  return true;
}

// The digits at `at` of a value of eight digits or more, their value in
// `magnitude`, checked against the int64_t range: null when out of range,
// otherwise the first character after the digits. Eighteen digits never
// overflow; only a longer number is checked digit by digit against the limit,
// 2^63 for the most negative value. The byte is tested before the count: the
// terminator stops the walk inside the text.
const unsigned char* ParseLongDecimal(const unsigned char* at, bool negative, uint64_t& magnitude);

// A decimal with an optional '-' at `first`, as std::from_chars reads it into
// an int64_t, in a text that a byte other than a digit ends (a terminator at
// the latest) and that kWordBytes readable bytes follow: null when there is
// no digit or the value is out of range; otherwise the first character after
// the digits. Written out, and inline, because it runs on every temperature
// read and the general parser costs twice as much.
inline const char* ParseDecimal(const char* first, int64_t& value) {
  const bool negative = *first == '-';
  const auto* at = reinterpret_cast<const unsigned char*>(first + (negative ? 1 : 0));
  uint64_t magnitude = 0;
  unsigned count = 0;
  const unsigned char* const end = ParseShortDecimal(at, magnitude, count)
                                       ? at + count
                                       : ParseLongDecimal(at, negative, magnitude);
  if (end == at || end == nullptr) {
    return nullptr;
  }
  value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
  return reinterpret_cast<const char*>(end);
}

}  // namespace sysfs_detail

// Reads the decimal value of the attribute open as `fd`, whose name in its
// folder is `name`: false, with the failure noted, when the read fails or the
// text is no decimal line.
[[gnu::always_inline]] inline bool ReadSysfsDecimal(int fd, const char* name, int64_t& value,
                                                    uint32_t& error) {
  constexpr std::size_t kRead = 32;
  // Zero before the read, not after: the bytes past what the read gives end
  // the parse whatever the file holds and are the word reads' readable bytes,
  // and a store of ours just before the first word read would stall that
  // load (it could not be forwarded from two writers).
  char text[kRead + sysfs_detail::kWordBytes] = {};
  const ssize_t got = pread(fd, text, kRead, 0);
  if (got < 0) {
    error = NoteSysfsFailure(name, errno);
    return false;
  }
  const char* first = text;
  while (*first == ' ' || *first == '\t') {
    ++first;
  }
  int64_t parsed = 0;
  const char* const end = sysfs_detail::ParseDecimal(first, parsed);
  // A value must be the whole line: "45000\n", not "45000 mC" or a number cut
  // off by the buffer.
  if (end == nullptr || (end != text + got && *end != '\n')) {
    error = NoteSysfsFailure(name, 0);
    return false;
  }
  value = parsed;
  return true;
}
