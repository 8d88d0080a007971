#pragma once
// Reads the vendor's cookies from the user's browser stores, for the
// referrer of the news page. Two stores are known: a Netscape-format
// cookies.txt anywhere under the user's application-data folder, and
// nine-line cookie records in files under the cookies folder (that folder
// exists only when something put it there). Owned by the front end.

#include <string>
#include <string_view>
#include <vector>

namespace online {

class TMekCookie {
 public:
  // Each entry: a name, a tab character and a value.
  const std::vector<std::string>& GetKeyValuePairs() const { return m_pairs; }

  // Refills the pairs from both stores; false when either folder is unknown.
  bool ReadCookie(std::string_view site);
  // The nine-line records of files whose lower-cased name contains the site word.
  bool ReadIECookie();
  // Lines of the first cookies.txt that contain `site`, last line first.
  bool ReadNSCookie(std::string_view site);
  // From `position` on, the first pair named `name`; `position` ends after the
  // examined pairs, or -1 with an empty value when none is found.
  void GetKeyValue(std::string_view name, int& position, std::string& value) const;

  // The lines of one Netscape cookie file, added as ReadNSCookie adds them.
  void AddNetscapeLines(const std::string& text, std::string_view site);
  // The records of one nine-line store file, added as ReadIECookie adds them.
  void AddRecordLines(const std::string& text);

 private:
  std::vector<std::string> m_pairs;
  std::string m_siteWord;
};

// The first non-empty value named `name` of the pairs ("REF" for the referrer).
std::string FirstNonEmptyValue(const TMekCookie& cookie, std::string_view name);

}  // namespace online
