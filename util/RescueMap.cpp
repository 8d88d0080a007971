#include "util/RescueMap.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace util {

namespace {

bool IsAreaStatus(char c) { return std::strchr("?*/-+", c) != nullptr && c != '\0'; }
// The current status may also be a phase with no area of its own (filling, generating).
bool IsCurrentStatus(char c) { return std::strchr("?*/-+FG", c) != nullptr && c != '\0'; }

}  // namespace

RescueMap::RescueMap(std::uint64_t size) : m_size(size) {
  if (size > 0) m_areas[0] = {0, size, '?'};
}

void RescueMap::Mark(std::uint64_t pos, std::uint64_t size, char status) {
  if (pos >= m_size || size == 0) return;
  if (size > m_size - pos) size = m_size - pos;
  const std::uint64_t end = pos + size;
  // Cut the areas at both ends so [pos, end) is made of whole areas, then replace them.
  for (const std::uint64_t cut : {pos, end}) {
    if (cut >= m_size) continue;
    auto it = m_areas.upper_bound(cut);
    --it;
    Area& area = it->second;
    if (area.pos == cut) continue;
    const Area tail{cut, area.pos + area.size - cut, area.status};
    area.size = cut - area.pos;
    m_areas[cut] = tail;
  }
  m_areas.erase(m_areas.lower_bound(pos), m_areas.lower_bound(end));
  auto it = m_areas.emplace(pos, Area{pos, size, status}).first;
  // Join with neighbours of the same status.
  auto next = std::next(it);
  if (next != m_areas.end() && next->second.status == status) {
    it->second.size += next->second.size;
    m_areas.erase(next);
  }
  if (it != m_areas.begin()) {
    auto prev = std::prev(it);
    if (prev->second.status == status) {
      prev->second.size += it->second.size;
      m_areas.erase(it);
    }
  }
}

std::vector<RescueMap::Area> RescueMap::AreasWith(char status) const {
  std::vector<Area> out;
  for (const auto& [pos, area] : m_areas)
    if (area.status == status) out.push_back(area);
  return out;
}

std::vector<RescueMap::Area> RescueMap::Areas() const {
  std::vector<Area> out;
  out.reserve(m_areas.size());
  for (const auto& [pos, area] : m_areas) out.push_back(area);
  return out;
}

std::uint64_t RescueMap::BytesWith(char status) const {
  std::uint64_t total = 0;
  for (const auto& [pos, area] : m_areas)
    if (area.status == status) total += area.size;
  return total;
}

std::size_t RescueMap::BadAreas() const {
  std::size_t count = 0;
  for (const auto& [pos, area] : m_areas)
    if (area.status == '-') ++count;
  return count;
}

void RescueMap::SetCurrent(std::uint64_t pos, char status, int pass) {
  m_currentPos = pos;
  m_currentStatus = status;
  m_currentPass = pass;
}

std::string RescueMap::Format(const std::vector<std::string>& comments) const {
  std::string out;
  for (const auto& line : comments) out += "# " + line + "\n";
  char row[96];
  out += "# current_pos  current_status  current_pass\n";
  std::snprintf(row, sizeof row, "0x%08" PRIX64 "     %c               %d\n", m_currentPos, m_currentStatus,
                m_currentPass);
  out += row;
  out += "#      pos        size  status\n";
  for (const auto& [pos, area] : m_areas) {
    std::snprintf(row, sizeof row, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", area.pos, area.size, area.status);
    out += row;
  }
  return out;
}

std::optional<RescueMap> RescueMap::Parse(const std::string& text, std::uint64_t size, std::string& error) {
  RescueMap map(size);
  std::istringstream lines(text);
  std::string line;
  bool sawCurrent = false;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream fields(line);
    std::string posText, second, third;
    fields >> posText >> second >> third;
    const auto number = [](const std::string& s, std::uint64_t& value) {
      if (s.empty()) return false;
      char* end = nullptr;
      errno = 0;
      value = std::strtoull(s.c_str(), &end, 0);
      return errno == 0 && end != s.c_str() && *end == '\0' && s[0] != '-';
    };
    std::uint64_t pos = 0, areaSize = 0;
    if (!sawCurrent) {
      // The first data line is the current position, its status and (since 1.20) the pass.
      if (!number(posText, pos) || second.size() != 1 || !IsCurrentStatus(second[0])) {
        error = "line " + std::to_string(lineNumber) + ": not a current position and status";
        return std::nullopt;
      }
      std::uint64_t pass = 1;
      if (!third.empty() && (!number(third, pass) || pass == 0 || pass > 5)) {
        error = "line " + std::to_string(lineNumber) + ": bad pass number";
        return std::nullopt;
      }
      map.SetCurrent(pos, second[0], static_cast<int>(pass));
      sawCurrent = true;
      continue;
    }
    if (!number(posText, pos) || !number(second, areaSize) || third.size() != 1 || !IsAreaStatus(third[0])) {
      error = "line " + std::to_string(lineNumber) + ": not a position, size and status";
      return std::nullopt;
    }
    map.Mark(pos, areaSize, third[0]);
  }
  if (!sawCurrent) {
    error = "no current position line";
    return std::nullopt;
  }
  return map;
}

}  // namespace util
