#include "cli/ServiceSession.h"

#include "online/ActionCodes.h"
#include "online/Addresses.h"
#include "online/Requests.h"
#include "online/StartupChecks.h"
#include "platform/Files.h"
#include "util/Text.h"

namespace cli {
namespace {

std::vector<std::string> Trimmed(std::vector<std::string> lines) {
  std::vector<std::string> out;
  for (auto& line : lines) {
    line = util::Trim(line);
    if (!line.empty()) out.push_back(std::move(line));
  }
  return out;
}

}  // namespace

ServiceSession::ServiceSession(const std::string& baseURL, util::IPrompt& prompt) {
  m_client.SetServiceURL(online::MakeServiceAddresses(baseURL).ServiceURL);
  m_client.SetPrompt(&prompt);
}

ServiceSession::~ServiceSession() {
  if (!m_started || m_client.TerminationRequested()) return;
  Log("Closing Application.", std::string(online::action::kClosing));
  if (online::ValidTransactionID(m_transaction.TransactionID)) {
    Log("Destroying Application.", std::string(online::action::kDestroying));
  }
}

bool ServiceSession::Start(std::string& error) {
  if (!online::CheckConnection(m_client, online::kLanguage)) {
    error = "the service does not answer";
    return false;
  }
  m_transaction = online::GetTransactionID(m_client);
  if (!m_transaction.valid || m_client.TerminationRequested()) {
    error = "the service gave no transaction number";
    return false;
  }
  m_started = true;
  return true;
}

void ServiceSession::Log(const std::string& message, const std::string& action) {
  if (m_client.TerminationRequested()) return;
  online::AddLog(m_transaction.TransactionID, message, action, m_client);
}

void ServiceSession::Statistics(const online::StatisticsRecord& record) {
  if (m_client.TerminationRequested()) return;
  online::SendStatistics(m_client, m_transaction.TransactionID, record);
}

std::vector<std::string> ServiceSession::Catalogue() {
  std::vector<std::string> lines;
  online::PopulateStringList(online::CatalogueRequest(online::ProgramEdition()), online::CatalogueSuffix(online::kLanguage), lines,
                             m_client);
  return Trimmed(std::move(lines));
}

std::vector<std::string> ServiceSession::Overview(const std::string& scanType) {
  std::vector<std::string> lines;
  online::PopulateStringList(online::FileOverviewRequest(online::ProgramEdition(), online::kLanguage, scanType), "", lines, m_client);
  return Trimmed(std::move(lines));
}

}  // namespace cli
