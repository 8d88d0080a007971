#pragma once
// The vendor service as `trellmond-cli scan --service URL` uses it: a transaction
// number with its start lines and machine record, every scanner log line, the
// statistics of each scan and save, and the marker catalogue and default types.

#include <memory>
#include <string>
#include <vector>

#include "online/HttpClient.h"
#include "online/Transaction.h"
#include "util/Prompt.h"

namespace cli {

class ServiceSession {
 public:
  ServiceSession(const std::string& baseURL, util::IPrompt& prompt);
  ~ServiceSession();  // sends the closing lines

  // Connects and obtains a transaction number; false (with `error`) when the service
  // cannot be reached or gives no valid number.
  bool Start(std::string& error);
  const std::string& TransactionID() const { return m_transaction.TransactionID; }

  void Log(const std::string& message, const std::string& action);
  void Statistics(const online::StatisticsRecord& record);
  // getFileDetails lines (marker catalogue) and getFileOverview lines for a scan type
  // ("1" Low Level Scan, "2" Undelete), without their "<BR />" endings.
  std::vector<std::string> Catalogue();
  std::vector<std::string> Overview(const std::string& scanType);

 private:
  online::THttpClient m_client;
  online::TransactionStart m_transaction;
  bool m_started = false;
};

}  // namespace cli
