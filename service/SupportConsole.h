#pragma once
// The support console under /console/: transactions newest first with their
// registration, machine record and statistics, and per transaction its log
// lines in arrival order, paged. Every request must carry the token set in
// the service's options (query "token=" or "Authorization: Bearer"); without
// one configured the console refuses everyone. Every stored value is
// HTML-escaped: the rows hold whatever clients sent.

#include "service/ConsoleData.h"

#include <httplib.h>

#include <string>
#include <string_view>

namespace service {

class SupportConsole {
 public:
  SupportConsole(std::string token, ConsoleData& data) : m_token(std::move(token)), m_data(data) {}

  void Register(httplib::Server& server);

  static constexpr std::int64_t kTransactionsPerPage = 25;
  static constexpr std::int64_t kLinesPerPage = 200;

 private:
  bool Authorized(const httplib::Request& req) const;
  void ListPage(const httplib::Request& req, httplib::Response& res);
  void LogPage(const httplib::Request& req, httplib::Response& res);

  std::string m_token;
  ConsoleData& m_data;
};

// "&", "<", ">", '"' and "'" as entities; NUL and other control characters
// except tab and line breaks as U+FFFD so stored bytes cannot break the page.
std::string EscapeHtml(std::string_view text);

}  // namespace service
