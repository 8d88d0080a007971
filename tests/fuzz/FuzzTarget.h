#pragma once
// The entry point every fuzz target defines. libFuzzer calls it with each input;
// the replay program (built by every compiler) calls it with the kept inputs of
// regressions/. A target must not keep state between calls that changes results.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fuzz {

inline std::span<const std::byte> Bytes(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const std::byte*>(data), size};
}

inline std::string_view Text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz
