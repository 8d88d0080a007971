#pragma once
// The per-user settings store, standing in for the registry key
// \Software\Pelmora\Trellmond: an INI file at $XDG_CONFIG_HOME/Pelmora/Trellmond.conf
// with the same value names. Each call reads or rewrites the file, so separate
// instances (and processes) see each other's values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class SettingsStore {
 public:
  // The program's own store.
  SettingsStore();
  // A store at a given file (tests, tools).
  explicit SettingsStore(std::string filePath);

  const std::string& FilePath() const { return m_path; }

  bool ValueExists(std::string_view name) const;
  std::optional<std::string> ReadString(std::string_view name) const;
  std::optional<std::int32_t> ReadInteger(std::string_view name) const;
  std::optional<bool> ReadBool(std::string_view name) const;
  bool WriteString(std::string_view name, std::string_view value);
  bool WriteInteger(std::string_view name, std::int32_t value);
  bool WriteBool(std::string_view name, bool value);
  bool DeleteValue(std::string_view name);

 private:
  std::string m_path;
};

// $XDG_CONFIG_HOME (or ~/.config) and $XDG_DATA_HOME (or ~/.local/share), as POSIX paths.
std::string ConfigHome();
std::string DataHome();

}  // namespace platform
