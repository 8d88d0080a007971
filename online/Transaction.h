#pragma once
// The transaction of a run and what is sent under it: the start lines, the
// machine record, statistics records, the newsletter registration and the
// chaining of a new transaction to the previous one.

#include "online/HttpClient.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace online {

struct TransactionStart {
  std::string TransactionID;        // as the service returned it (reply body, trimmed)
  std::int64_t MaxImageHints = 0;
  bool valid = false;               // neither empty nor "0"
};

// False for an empty (after trimming) or "0" transaction number.
bool ValidTransactionID(std::string_view transactionID);
// The free memory in bytes × 0.9 ÷ 50,000, truncated (integer arithmetic, so
// 1,600,000,000 gives exactly 28,800).
std::int64_t MaxImageHintsFor(std::uint64_t freeBytes);

// Obtains a number, logs the version and registration lines and sends the
// machine record. Without a valid number it shows "Problem obtaining
// TransactionID. Application Terminating." and asks the front end to end,
// then still sends the remaining lines with the value it got.
TransactionStart GetTransactionID(THttpClient& client);

struct MachineRecord {
  std::string os, platform, processor, cpu, keyboard, ram, freeram;
};
// This machine's record (measures the processor clock: about half a second).
MachineRecord ReadMachineRecord();
std::string BuildMachineRequest(std::string_view transactionID, const MachineRecord& record);
// Logs the image hint limit and sends the machine record; returns the limit.
std::int64_t LogMachine(THttpClient& client, std::string_view transactionID);

struct StatisticsRecord {
  std::string cardsize;   // size text of the scanned drive
  std::string foundsize;  // size text of the bytes found or saved
  std::string number;     // files found or saved
  std::string time;       // whole seconds
  std::string types;      // the scanner's extension:count list
  std::string cancelled;  // "1" or "0"
  std::string scantype;   // "F-Scan", "L-Scan", "F-Save" or "L-Save"
};
std::string BuildStatisticsRequest(std::string_view transactionID, const StatisticsRecord& record);
void SendStatistics(THttpClient& client, std::string_view transactionID, const StatisticsRecord& record);

struct RegistrationDetails {
  std::string FirstName, LastName, Email;
};
std::string BuildRegistrationRequest(std::string_view transactionID, const RegistrationDetails& details,
                                     bool newsletter);

// Logs the link between the old and the new transaction under both numbers.
void ChainTransactions(THttpClient& client, std::string_view oldID, std::string_view newID);

}  // namespace online
