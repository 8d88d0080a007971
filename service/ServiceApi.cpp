#include "service/ServiceApi.h"

#include "service/QueryText.h"
#include "service/RecordKinds.h"
#include "service/ReplyBody.h"

#include <cstdio>
#include <filesystem>

namespace service {
namespace {

constexpr const char* kHtml = "text/html";
// Longer targets are refused before any work; the longest real log lines
// (exception reports with a call stack) stay far below this.
constexpr std::size_t kMaxTargetLength = 256 * 1024;

// A request id is the client's own token for one stored request: short
// letters, digits, "-" and "_", so it can never be mistaken for data.
constexpr std::size_t kMaxRequestIdLength = 64;

bool ValidRequestId(const std::string& id) {
  if (id.empty() || id.size() > kMaxRequestIdLength) return false;
  for (char c : id) {
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' || c == '_')) {
      return false;
    }
  }
  return true;
}

bool ValidLanguage(const std::string& language) {
  if (language.empty() || language.size() > 8) return false;
  for (char c : language) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
  }
  return true;
}

}  // namespace

void ReplyError(httplib::Response& res, int status, const std::string& text) {
  res.status = status;
  res.set_content(text + "\n", "text/plain");
}

void ServiceApi::Register(httplib::Server& server) {
  server.Get(R"(/php/[^/]*)", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
}

void ServiceApi::Handle(const httplib::Request& req, httplib::Response& res) {
  if (req.target.size() > kMaxTargetLength) return ReplyError(res, 414, "request too long");
  const std::string endpoint = req.path.substr(std::string_view("/php/").size());
  const ParsedQuery query = ParseQuery(req.target);
  if (!query.error.empty()) return ReplyError(res, 400, query.error);
  if (endpoint == "getkey.php") return GetKey(query, res);
  if (endpoint == "getfileinfo.php") return GetFileInfo(query, res);
  if (endpoint == "addtransaction.php") return AddTransaction(req, res);
  if (const RecordKind* kind = FindRecordKind(endpoint); kind != nullptr) return StoreRecord(*kind, query, req, res);
  ReplyError(res, 404, "unknown request");
}

std::string ServiceApi::NewsFlag(const std::string& language) const {
  if (m_options.newsFlag) return *m_options.newsFlag;
  if (!ValidLanguage(language)) return "0";
  std::error_code ec;
  return std::filesystem::is_regular_file(m_options.dataFolder + "/site/news" + language + ".html", ec) ? "1" : "0";
}

void ServiceApi::GetKey(const ParsedQuery& query, httplib::Response& res) const {
  const auto key = QueryValue(query, "searchKey");
  if (!key) return ReplyError(res, 400, "missing key: searchKey");
  const std::string language = QueryValue(query, "language").value_or("");
  if (*key == "VERSION") return res.set_content(ReplyValue("VERSION;" + m_options.version), kHtml);
  if (*key == "NEWS") return res.set_content(ReplyValue("NEWS;" + NewsFlag(language)), kHtml);
  ReplyError(res, 404, "unknown searchKey");
}

void ServiceApi::GetFileInfo(const ParsedQuery& query, httplib::Response& res) const {
  const auto method = QueryValue(query, "method");
  const auto scanType = QueryValue(query, "scantype");
  if (!method || !scanType) return ReplyError(res, 400, "missing key: method and scantype are required");
  std::string file;
  if (*method == "getFileDetails" && *scanType == "1") {
    file = "details.txt";
  } else if (*method == "getFileOverview" && *scanType == "1") {
    file = "overview-low.txt";
  } else if (*method == "getFileOverview" && *scanType == "2") {
    file = "overview-undelete.txt";
  } else {
    return ReplyError(res, 400, "unknown method or scantype");
  }
  // Read on every request: the catalogue may be edited while the service runs.
  res.set_content(ReplyLines(ReadCatalogueLines(m_options.dataFolder + "/catalogue/" + file)), kHtml);
}

void ServiceApi::AddTransaction(const httplib::Request& req, httplib::Response& res) {
  std::string error;
  const auto id = m_store.AddTransaction(req.remote_addr, error);
  if (!id) {
    std::fprintf(stderr, "trellmond-service: storing a transaction failed: %s\n", error.c_str());
    return ReplyError(res, 503, "storage failed");
  }
  res.set_content(ReplyValue(std::to_string(*id)), kHtml);
}

void ServiceApi::StoreRecord(const RecordKind& kind, const ParsedQuery& query, const httplib::Request& req,
                             httplib::Response& res) {
  std::vector<std::string> values;
  values.reserve(kind.keys.size());
  for (std::string_view key : kind.keys) {
    auto value = QueryValue(query, std::string(key));
    if (!value) return ReplyError(res, 400, "missing key: " + std::string(key));
    values.push_back(std::move(*value));
  }
  // Optional: a client that sends one may repeat the request after a lost
  // reply; the repeat stores nothing and gets the same answer.
  const std::string request = QueryValue(query, "request").value_or("");
  if (!request.empty() && !ValidRequestId(request)) return ReplyError(res, 400, "invalid request id");
  std::string error;
  if (!m_store.AddRecord(kind, std::move(values), req.remote_addr, request, error)) {
    std::fprintf(stderr, "trellmond-service: storing %s failed: %s\n", std::string(kind.endpoint).c_str(),
                 error.c_str());
    return ReplyError(res, 503, "storage failed");
  }
  res.set_content(ReplyValue("OK"), kHtml);
}

}  // namespace service
