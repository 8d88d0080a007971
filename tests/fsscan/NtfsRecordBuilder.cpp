#include "tests/fsscan/NtfsRecordBuilder.h"

#include <sstream>

namespace fsscantest {

void PutLE(std::string& bytes, std::size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Hex(const std::string& text) {
  std::istringstream in(text);
  std::string out;
  unsigned value = 0;
  while (in >> std::hex >> value) out.push_back(static_cast<char>(value));
  return out;
}

NtfsRecordBuilder::NtfsRecordBuilder(std::uint32_t number, std::uint16_t flags, std::uint32_t size)
    : bytes(size, '\0') {
  bytes.replace(0, 4, "FILE");
  PutLE(bytes, 4, 48, 2);                // update sequence array offset
  PutLE(bytes, 6, size / 512 + 1, 2);    // its words: the sequence number and one per sector
  PutLE(bytes, 20, 56, 2);               // first attribute
  PutLE(bytes, 22, flags, 2);
  PutLE(bytes, 28, size, 4);             // allocated size
  PutLE(bytes, 44, number, 4);
}

NtfsRecordBuilder& NtfsRecordBuilder::Resident(std::uint32_t type, const std::string& value,
                                               const std::u16string& name) {
  const std::uint32_t valueOffset = (24 + 2 * static_cast<std::uint32_t>(name.size()) + 7) & ~7u;
  const std::uint32_t length = (valueOffset + static_cast<std::uint32_t>(value.size()) + 7) & ~7u;
  PutLE(bytes, next, type, 4);
  PutLE(bytes, next + 4, length, 4);
  bytes[next + 9] = static_cast<char>(name.size());
  PutLE(bytes, next + 10, 24, 2);
  for (std::size_t i = 0; i < name.size(); ++i) PutLE(bytes, next + 24 + 2 * i, name[i], 2);
  PutLE(bytes, next + 16, value.size(), 4);
  PutLE(bytes, next + 20, valueOffset, 2);
  bytes.replace(next + valueOffset, value.size(), value);
  next += length;
  return *this;
}

NtfsRecordBuilder& NtfsRecordBuilder::FileName(std::uint32_t parent, std::uint8_t nameSpace,
                                               const std::u16string& name) {
  std::string value(66 + 2 * name.size(), '\0');
  PutLE(value, 0, parent, 4);
  PutLE(value, 6, 1, 2);  // sequence number of the parent reference
  value[64] = static_cast<char>(name.size());
  value[65] = static_cast<char>(nameSpace);
  for (std::size_t i = 0; i < name.size(); ++i) PutLE(value, 66 + 2 * i, name[i], 2);
  return Resident(0x30, value);
}

NtfsRecordBuilder& NtfsRecordBuilder::NonResident(const std::string& runList, std::uint64_t dataSize,
                                                  std::uint16_t flags, std::uint8_t compressionShift,
                                                  const std::u16string& name) {
  const std::uint32_t header = compressionShift != 0 ? 72 : 64;
  const std::uint32_t runsAt = (header + 2 * static_cast<std::uint32_t>(name.size()) + 7) & ~7u;
  const std::uint32_t length = (runsAt + static_cast<std::uint32_t>(runList.size()) + 1 + 7) & ~7u;
  PutLE(bytes, next, 0x80, 4);
  PutLE(bytes, next + 4, length, 4);
  bytes[next + 8] = 1;
  bytes[next + 9] = static_cast<char>(name.size());
  PutLE(bytes, next + 10, header, 2);
  PutLE(bytes, next + 12, flags, 2);
  for (std::size_t i = 0; i < name.size(); ++i) PutLE(bytes, next + header + 2 * i, name[i], 2);
  PutLE(bytes, next + 32, runsAt, 2);
  bytes[next + 34] = static_cast<char>(compressionShift);
  PutLE(bytes, next + 48, dataSize, 8);
  PutLE(bytes, next + 56, dataSize, 8);
  bytes.replace(next + runsAt, runList.size(), runList);
  next += length;
  return *this;
}

std::string NtfsRecordBuilder::Build() const {
  std::string out = bytes;
  PutLE(out, next, 0xFFFFFFFF, 4);
  PutLE(out, 48, 0x0007, 2);  // sequence number
  // Every 512 bytes end in a protected word, whatever the sector size.
  for (std::uint32_t i = 1; i * 512 <= out.size() && 48 + 2 * i + 1 < 56; ++i) {
    const std::size_t end = i * 512 - 2;
    out[48 + 2 * i] = out[end];
    out[48 + 2 * i + 1] = out[end + 1];
    out[end] = 0x07;
    out[end + 1] = 0x00;
  }
  return out;
}

}  // namespace fsscantest
