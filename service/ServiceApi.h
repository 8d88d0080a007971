#pragma once
// The request handlers under /php/: version and news keys, the file-type
// catalogue, transaction numbers, and the stored requests (registration, log
// line, machine record, statistics). Called on the HTTP server's worker
// threads; the store serialises its writes.

#include "service/ServiceOptions.h"
#include "service/ServiceStore.h"

#include <httplib.h>

namespace service {

struct ParsedQuery;
struct RecordKind;

class ServiceApi {
 public:
  ServiceApi(const ServiceOptions& options, ServiceStore& store) : m_options(options), m_store(store) {}

  void Register(httplib::Server& server);

 private:
  void Handle(const httplib::Request& req, httplib::Response& res);
  void GetKey(const ParsedQuery& query, httplib::Response& res) const;
  void GetFileInfo(const ParsedQuery& query, httplib::Response& res) const;
  void AddTransaction(const httplib::Request& req, httplib::Response& res);
  void StoreRecord(const RecordKind& kind, const ParsedQuery& query, const httplib::Request& req,
                   httplib::Response& res);
  std::string NewsFlag(const std::string& language) const;

  const ServiceOptions& m_options;
  ServiceStore& m_store;
};

// Plain-text error reply with an HTTP error status.
void ReplyError(httplib::Response& res, int status, const std::string& text);

}  // namespace service
