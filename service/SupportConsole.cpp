#include "service/SupportConsole.h"

#include "service/QueryText.h"
#include "service/RecordKinds.h"
#include "service/ServiceApi.h"

#include <charconv>

namespace service {
namespace {

bool SameText(std::string_view a, std::string_view b) {
  // Constant time over the longer text, so the comparison does not reveal a matching prefix.
  const std::size_t n = std::max(a.size(), b.size());
  unsigned diff = a.size() == b.size() ? 0U : 1U;
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
    const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
    diff |= static_cast<unsigned>(x ^ y);
  }
  return diff == 0;
}

std::int64_t PageNumber(const ParsedQuery& query) {
  const std::string text = QueryValue(query, "page").value_or("0");
  std::int64_t page = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), page);
  if (ec != std::errc{} || end != text.data() + text.size() || page < 0) return 0;
  return std::min<std::int64_t>(page, 1'000'000'000);
}

std::string UrlValue(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '-' || b == '_' ||
        b == '.') {
      out.push_back(c);
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

std::string PageHead(std::string_view title) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + EscapeHtml(title) +
         "</title><style>body{font-family:sans-serif}table{border-collapse:collapse}"
         "td,th{border:1px solid #bbb;padding:3px 6px;vertical-align:top;text-align:left}"
         "td.msg{white-space:pre-wrap;font-family:monospace}</style></head><body>\n<h1>" +
         EscapeHtml(title) + "</h1>\n";
}

std::string RowsCell(const std::vector<StoredRow>& rows, const RecordKind& kind) {
  std::string cell;
  for (const StoredRow& row : rows) {
    cell += "<div>" + EscapeHtml(row.received) + ":";
    for (std::size_t i = 0; i < row.values.size() && i + 1 < kind.keys.size(); ++i) {
      cell += " <b>" + EscapeHtml(kind.keys[i + 1]) + "</b>=" + EscapeHtml(row.values[i]);
    }
    cell += "</div>";
  }
  return cell;
}

std::string PagerLinks(const std::string& base, std::int64_t page, std::int64_t total, std::int64_t perPage) {
  const std::int64_t pages = std::max<std::int64_t>(1, (total + perPage - 1) / perPage);
  std::string html = "<p>Page " + std::to_string(page + 1) + " of " + std::to_string(pages) + " (" +
                     std::to_string(total) + " rows)";
  if (page > 0) html += " <a href=\"" + EscapeHtml(base + "&page=" + std::to_string(page - 1)) + "\">previous</a>";
  if (page + 1 < pages) html += " <a href=\"" + EscapeHtml(base + "&page=" + std::to_string(page + 1)) + "\">next</a>";
  return html + "</p>\n";
}

}  // namespace

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        if ((static_cast<unsigned char>(c) < 32 && c != '\t' && c != '\n' && c != '\r') || c == 127) {
          out += "\xEF\xBF\xBD";
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

void SupportConsole::Register(httplib::Server& server) {
  auto list = [this](const httplib::Request& req, httplib::Response& res) { ListPage(req, res); };
  server.Get("/console", list);
  server.Get("/console/", list);
  server.Get("/console/transaction",
             [this](const httplib::Request& req, httplib::Response& res) { LogPage(req, res); });
}

bool SupportConsole::Authorized(const httplib::Request& req) const {
  if (m_token.empty()) return false;
  const std::string header = req.get_header_value("Authorization");
  constexpr std::string_view kBearer = "Bearer ";
  if (header.rfind(kBearer, 0) == 0 && SameText(std::string_view(header).substr(kBearer.size()), m_token)) return true;
  const auto token = QueryValue(ParseQuery(req.target), "token");
  return token && SameText(*token, m_token);
}

void SupportConsole::ListPage(const httplib::Request& req, httplib::Response& res) {
  if (!Authorized(req)) {
    res.set_header("WWW-Authenticate", "Bearer");
    return ReplyError(res, 401, "the support console needs its token");
  }
  const ParsedQuery query = ParseQuery(req.target);
  const std::string tokenPart = "token=" + UrlValue(QueryValue(query, "token").value_or(""));
  const std::int64_t page = PageNumber(query);
  const std::int64_t total = m_data.CountTransactions();
  const auto kinds = RecordKinds();
  std::string html = PageHead("Trellmond transactions");
  html += PagerLinks("/console/?" + tokenPart, page, total, kTransactionsPerPage);
  html += "<table><tr><th>Transaction</th><th>Started</th><th>From</th><th>Registration</th><th>Machine</th>"
          "<th>Statistics</th><th>Log lines</th></tr>\n";
  for (const TransactionSummary& t : m_data.Transactions(page * kTransactionsPerPage, kTransactionsPerPage)) {
    const std::string link = "/console/transaction?" + tokenPart + "&t=" + std::to_string(t.id);
    html += "<tr><td><a href=\"" + EscapeHtml(link) + "\">" + std::to_string(t.id) + "</a></td><td>" +
            EscapeHtml(t.received) + "</td><td>" + EscapeHtml(t.remote) + "</td><td>" +
            RowsCell(t.registrations, kinds[0]) + "</td><td>" + RowsCell(t.machines, kinds[2]) + "</td><td>" +
            RowsCell(t.statistics, kinds[3]) + "</td><td>" + std::to_string(t.logCount) + "</td></tr>\n";
  }
  html += "</table>\n</body></html>\n";
  res.set_content(html, "text/html; charset=utf-8");
}

void SupportConsole::LogPage(const httplib::Request& req, httplib::Response& res) {
  if (!Authorized(req)) {
    res.set_header("WWW-Authenticate", "Bearer");
    return ReplyError(res, 401, "the support console needs its token");
  }
  const ParsedQuery query = ParseQuery(req.target);
  const auto transaction = QueryValue(query, "t");
  if (!transaction) return ReplyError(res, 400, "missing key: t");
  const std::string tokenPart = "token=" + UrlValue(QueryValue(query, "token").value_or(""));
  const std::int64_t page = PageNumber(query);
  const std::int64_t total = m_data.CountLog(*transaction);
  std::string html = PageHead("Trellmond transaction " + *transaction);
  html += "<p><a href=\"" + EscapeHtml("/console/?" + tokenPart) + "\">All transactions</a></p>\n";
  const std::string base = "/console/transaction?" + tokenPart + "&t=" + UrlValue(*transaction);
  html += PagerLinks(base, page, total, kLinesPerPage);
  html += "<table><tr><th>#</th><th>Received</th><th>Action</th><th>Message</th></tr>\n";
  for (const LogLine& line : m_data.Log(*transaction, page * kLinesPerPage, kLinesPerPage)) {
    html += "<tr><td>" + std::to_string(line.id) + "</td><td>" + EscapeHtml(line.received) + "</td><td>" +
            EscapeHtml(line.action) + "</td><td class=\"msg\">" + EscapeHtml(line.message) + "</td></tr>\n";
  }
  html += "</table>\n</body></html>\n";
  res.set_content(html, "text/html; charset=utf-8");
}

}  // namespace service
