#include "online/MekCookie.h"

#include "online/ServiceAddress.h"
#include "platform/DriveTable.h"
#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "util/Text.h"

#include <fstream>
#include <sstream>

namespace online {
namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string ReadDriveFile(const std::string& windowsPath) {
  const auto posix = platform::ToPosixPath(windowsPath);
  std::ifstream in(posix.value_or(windowsPath), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

bool TMekCookie::ReadCookie(std::string_view site) {
  m_pairs.clear();
  m_siteWord = util::LowerCase(site.empty() ? kCookieSite : site);
  if (ReadNSCookie(site)) return ReadIECookie();
  return false;
}

void TMekCookie::AddNetscapeLines(const std::string& text, std::string_view site) {
  const std::vector<std::string> lines = SplitLines(text);
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (it->find(site) == std::string::npos) continue;
    m_pairs.push_back(util::GetField(*it, 6, '\t') + "\t" + util::GetField(*it, 7, '\t'));
  }
}

bool TMekCookie::ReadNSCookie(std::string_view site) {
  const std::string folder = platform::GetUserDirectory(platform::ufAppData);
  if (folder.empty()) return false;
  std::vector<std::string> found;
  platform::FileFinder(folder + "\\*.*", "cookies.txt", found, true);
  if (!found.empty()) AddNetscapeLines(ReadDriveFile(found.front()), site);
  return true;
}

void TMekCookie::AddRecordLines(const std::string& text) {
  const std::vector<std::string> lines = SplitLines(text);
  for (std::size_t i = 0; i + 1 < lines.size(); i += 9) m_pairs.push_back(lines[i] + "\t" + lines[i + 1]);
}

bool TMekCookie::ReadIECookie() {
  const std::string folder = platform::GetUserDirectory(platform::ufCookies);
  if (folder.empty()) return false;
  std::vector<std::string> found;
  platform::FileFinder(folder + "\\*.*", m_siteWord.empty() ? kCookieSite : m_siteWord, found, false);
  for (const std::string& file : found) AddRecordLines(ReadDriveFile(file));
  return true;
}

void TMekCookie::GetKeyValue(std::string_view name, int& position, std::string& value) const {
  value.clear();
  const int count = static_cast<int>(m_pairs.size());
  for (int i = std::max(position, 0); i < count; ++i) {
    const std::string& pair = m_pairs[static_cast<std::size_t>(i)];
    if (util::GetField(pair, 1, '\t') == name) {
      value = util::GetField(pair, 2, '\t');
      position = i + 1;
      return;
    }
  }
  position = -1;
}

std::string FirstNonEmptyValue(const TMekCookie& cookie, std::string_view name) {
  int position = 0;
  std::string value;
  while (position != -1) {
    cookie.GetKeyValue(name, position, value);
    if (!value.empty()) return value;
  }
  return {};
}

}  // namespace online
