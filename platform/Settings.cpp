#include "platform/Settings.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "util/Text.h"

namespace platform {
namespace {

constexpr std::string_view kSection = "[Trellmond]";

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/tmp";
}

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value == '/' ? value : fallback;
}

// Values are kept one per line as name=value; backslash escapes keep line breaks
// and backslashes intact so any string survives a round trip.
std::string Escape(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string Unescape(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      const char next = value[++i];
      out.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : next);
    } else {
      out.push_back(value[i]);
    }
  }
  return out;
}

std::map<std::string, std::string> Load(const std::string& path) {
  std::map<std::string, std::string> values;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line.front() == '[' || line.front() == ';' || line.front() == '#') continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    values[line.substr(0, eq)] = Unescape(std::string_view(line).substr(eq + 1));
  }
  return values;
}

bool Save(const std::string& path, const std::map<std::string, std::string>& values) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  const std::string temp = path + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::trunc);
    out << kSection << '\n';
    for (const auto& [name, value] : values) out << name << '=' << Escape(value) << '\n';
    if (!out) return false;
  }
  // Replace in one step so a crash never leaves half a file.
  return std::rename(temp.c_str(), path.c_str()) == 0;
}

}  // namespace

std::string ConfigHome() { return EnvOr("XDG_CONFIG_HOME", HomeFolder() + "/.config"); }
std::string DataHome() { return EnvOr("XDG_DATA_HOME", HomeFolder() + "/.local/share"); }

SettingsStore::SettingsStore() : m_path(ConfigHome() + "/Pelmora/Trellmond.conf") {}
SettingsStore::SettingsStore(std::string filePath) : m_path(std::move(filePath)) {}

bool SettingsStore::ValueExists(std::string_view name) const { return ReadString(name).has_value(); }

std::optional<std::string> SettingsStore::ReadString(std::string_view name) const {
  const auto values = Load(m_path);
  const auto it = values.find(std::string(name));
  if (it == values.end()) return std::nullopt;
  return it->second;
}

std::optional<std::int32_t> SettingsStore::ReadInteger(std::string_view name) const {
  const auto text = ReadString(name);
  if (!text) return std::nullopt;
  const std::string trimmed = util::Trim(*text);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
  if (ec != std::errc() || end != trimmed.data() + trimmed.size()) return std::nullopt;
  return value;
}

std::optional<bool> SettingsStore::ReadBool(std::string_view name) const {
  const auto value = ReadInteger(name);
  if (!value) return std::nullopt;
  return *value != 0;
}

bool SettingsStore::WriteString(std::string_view name, std::string_view value) {
  if (name.empty() || name.find_first_of("=\n\r[") != std::string_view::npos) return false;
  auto values = Load(m_path);
  values[std::string(name)] = std::string(value);
  return Save(m_path, values);
}

bool SettingsStore::WriteInteger(std::string_view name, std::int32_t value) {
  return WriteString(name, std::to_string(value));
}

bool SettingsStore::WriteBool(std::string_view name, bool value) { return WriteInteger(name, value ? 1 : 0); }

bool SettingsStore::DeleteValue(std::string_view name) {
  auto values = Load(m_path);
  if (values.erase(std::string(name)) == 0) return false;
  return Save(m_path, values);
}

}  // namespace platform
