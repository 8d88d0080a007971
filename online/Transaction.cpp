#include "online/Transaction.h"

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "online/SysInfo.h"
#include "platform/Files.h"
#include "util/SizeText.h"
#include "util/Text.h"

#include <exception>
#include <limits>

namespace online {

bool ValidTransactionID(std::string_view transactionID) {
  const std::string trimmed = util::Trim(transactionID);
  return !trimmed.empty() && trimmed != "0";
}

std::int64_t MaxImageHintsFor(std::uint64_t freeBytes) {
  const std::uint64_t hints = freeBytes / 500'000 * 9 + freeBytes % 500'000 * 9 / 500'000;
  return hints > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
             ? std::numeric_limits<std::int64_t>::max()
             : static_cast<std::int64_t>(hints);
}

TransactionStart GetTransactionID(THttpClient& client) {
  TransactionStart start;
  start.TransactionID = GetData(DispatchURL("addtransaction.php", client));
  start.valid = ValidTransactionID(start.TransactionID);
  if (!start.valid) {
    client.Prompt().Ask("Trellmond", "Problem obtaining TransactionID. Application Terminating.",
                        util::PromptButtons::Ok, util::PromptIcon::Error);
    client.RequestTermination();
  }
  const std::string version = platform::GetFmtFileVersion(platform::OwnExecutablePath(), "%d.%d.%d.%d");
  AddLog(start.TransactionID, "Version: " + version, action::kVersion, client);
  AddLog(start.TransactionID, "Initial / New Registration. Trans: " + start.TransactionID, action::kRegistration,
         client);
  start.MaxImageHints = LogMachine(client, start.TransactionID);
  return start;
}

MachineRecord ReadMachineRecord() {
  MachineRecord record;
  record.os = GetOS_2();
  record.platform = GetPlatform();
  record.processor = GetProcessorLevel();
  record.cpu = CpuSpeedText(GetCPUSpeed());
  record.keyboard = GetKeyBoardLanguage();
  record.ram = util::GetFormatedMemory(static_cast<std::int64_t>(GetRAM()));
  record.freeram = util::GetFormatedMemory(static_cast<std::int64_t>(GetFreeRAM()));
  return record;
}

std::string BuildMachineRequest(std::string_view transactionID, const MachineRecord& record) {
  return "addmachine.php?transaction=" + EncodeValue(transactionID) + "&os=" + EncodeValue(record.os) +
         "&platform=" + EncodeValue(record.platform) + "&processor=" + EncodeValue(record.processor) +
         "&cpu=" + EncodeValue(record.cpu) + "&keyboard=" + EncodeValue(record.keyboard) +
         "&ram=" + EncodeValue(record.ram) + "&freeram=" + EncodeValue(record.freeram);
}

std::int64_t LogMachine(THttpClient& client, std::string_view transactionID) {
  const std::int64_t hints = MaxImageHintsFor(GetFreeRAM());
  AddLog(transactionID, "Maximum number of Image Hints to be stored is: " + std::to_string(hints),
         action::kMaxImageHints, client);
  try {
    DispatchURL(WithRequestId(BuildMachineRequest(transactionID, ReadMachineRecord())), client);
  } catch (const std::exception& e) {
    AddLog(transactionID, std::string("Error Adding Machine Details: ") + e.what(), action::kMachineDetailsError,
           client);
  }
  return hints;
}

std::string BuildStatisticsRequest(std::string_view transactionID, const StatisticsRecord& r) {
  return "addstatistics.php?transaction=" + EncodeValue(transactionID) + "&cardsize=" + EncodeValue(r.cardsize) +
         "&foundsize=" + EncodeValue(r.foundsize) + "&number=" + EncodeValue(r.number) +
         "&time=" + EncodeValue(r.time) + "&types=" + EncodeValue(r.types) +
         "&cancelled=" + EncodeValue(r.cancelled) + "&scantype=" + EncodeValue(r.scantype);
}

void SendStatistics(THttpClient& client, std::string_view transactionID, const StatisticsRecord& record) {
  DispatchURL(WithRequestId(BuildStatisticsRequest(transactionID, record)), client);
}

std::string BuildRegistrationRequest(std::string_view transactionID, const RegistrationDetails& details,
                                     bool newsletter) {
  return "updatetransaction.php?transaction=" + EncodeValue(transactionID) +
         "&firstname=" + EncodeValue(details.FirstName) + "&lastname=" + EncodeValue(details.LastName) +
         "&email=" + EncodeValue(details.Email) + "&news=" + util::GetCheckboxValueAsText(newsletter);
}

void ChainTransactions(THttpClient& client, std::string_view oldID, std::string_view newID) {
  AddLog(oldID, "Starting new Transaction: " + std::string(newID), action::kNewTransaction, client);
  AddLog(newID, "Transaction linked to Transaction: " + std::string(oldID), action::kNewTransaction, client);
}

}  // namespace online
