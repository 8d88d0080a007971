#pragma once
// Hand-made NTFS FILE records for decoder tests: a header, attributes added in order,
// the end marker and the update sequence words, as a formatter lays them out.

#include <cstdint>
#include <string>

namespace fsscantest {

class NtfsRecordBuilder {
 public:
  NtfsRecordBuilder(std::uint32_t number, std::uint16_t flags, std::uint32_t size = 1024);

  NtfsRecordBuilder& Resident(std::uint32_t type, const std::string& value, const std::u16string& name = u"");
  NtfsRecordBuilder& FileName(std::uint32_t parent, std::uint8_t nameSpace, const std::u16string& name);
  NtfsRecordBuilder& NonResident(const std::string& runList, std::uint64_t dataSize, std::uint16_t flags = 0,
                                 std::uint8_t compressionShift = 0, const std::u16string& name = u"");
  // The record with its end marker and the sector words moved into the update sequence.
  std::string Build() const;

  std::string bytes;
  std::uint32_t next = 56;  // where the next attribute goes
};

// "31 40 00" -> the bytes.
std::string Hex(const std::string& text);
void PutLE(std::string& bytes, std::size_t offset, std::uint64_t value, int width);

}  // namespace fsscantest
