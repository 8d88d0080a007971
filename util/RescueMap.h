#pragma once
// Which bytes of a source a rescue copy has read, kept as GNU ddrescue keeps them in
// its mapfile: areas marked '?' not tried, '*' failed in a large read and not yet
// split, '/' between failed edges and not yet read sector by sector, '-' bad sectors,
// '+' rescued. Areas are contiguous, cover [0, size) and neighbours never share a
// status. Owned by one copy; not thread-safe.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace util {

class RescueMap {
 public:
  struct Area {
    std::uint64_t pos = 0;
    std::uint64_t size = 0;
    char status = '?';
  };

  // A map of `size` bytes, all not tried.
  explicit RescueMap(std::uint64_t size);

  // Reads a mapfile; nullopt with `error` set when it is not one. Areas beyond `size`
  // are dropped and what the file does not cover is added as not tried.
  static std::optional<RescueMap> Parse(const std::string& text, std::uint64_t size, std::string& error);
  // The mapfile text: `comments` lines (each starting with "# "), the current position,
  // status and pass, then one row per area.
  std::string Format(const std::vector<std::string>& comments) const;

  void Mark(std::uint64_t pos, std::uint64_t size, char status);
  // The areas with `status`, in order, as they stand now.
  std::vector<Area> AreasWith(char status) const;
  std::vector<Area> Areas() const;

  std::uint64_t Size() const { return m_size; }
  std::uint64_t BytesWith(char status) const;
  // Runs of bad sectors ('-'), the count a user sees as bad areas.
  std::size_t BadAreas() const;

  void SetCurrent(std::uint64_t pos, char status, int pass);

 private:
  std::uint64_t m_size;
  std::map<std::uint64_t, Area> m_areas;  // by position
  std::uint64_t m_currentPos = 0;
  char m_currentStatus = '?';
  int m_currentPass = 1;
};

}  // namespace util
