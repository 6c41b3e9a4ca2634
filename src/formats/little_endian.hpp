// Unsigned integers stored least significant byte first, as BGEN, gzip and
// BGZF store them.
#pragma once

#include <cstdint>
#include <string>

namespace varnex {

inline std::uint32_t get_le16(const unsigned char* p) { return p[0] | std::uint32_t(p[1]) << 8; }
inline std::uint32_t get_le32(const unsigned char* p) { return get_le16(p) | get_le16(p + 2) << 16; }

// The low `bytes` bytes of `v` at `p`.
template <class Byte>
inline void put_le(Byte* p, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<Byte>(v >> (8 * i));
}
inline void append_le(std::string& out, std::uint32_t v, int bytes) {
  char b[4];
  put_le(b, v, bytes);
  out.append(b, bytes);
}

}  // namespace varnex
