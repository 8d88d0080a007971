#pragma once
// TNewDialogFilter: the wizard's filter for unexpected exceptions. Instead of
// an error dialog it sends the message and the first call-stack lines to the
// remote log under the current transaction; when the system ran out of
// memory it tells the user how to scan with less and stops a running scan.
// Registered by the main window for its lifetime.

#include "online/HttpClient.h"
#include "util/Prompt.h"
#include "wizard/ExceptionFacility.h"

#include <functional>
#include <string>
#include <vector>

namespace wizard {

// message + "<BR>" + up to 21 stack lines, each after a "<BR>"; every "\r\n" as "<BR>".
std::string ExceptionLogText(const std::string& message, const std::vector<std::string>& stackLines);
// The out-of-memory advice.
std::string LowMemoryText();

class TNewDialogFilter : public IExceptionFilter {
 public:
  TNewDialogFilter(online::THttpClient& client, std::function<std::string()> transactionID, util::IPrompt& prompt,
                   std::function<void()> cancelScan);

  int ExceptionMessage(const std::string& exceptionClass, std::string& message) override;
  int LogException(const std::string& exceptionClass, const std::string& message) override;
  int ShowException(const std::string& exceptionClass, std::uintptr_t address,
                    const std::vector<std::string>& stackLines, const std::string& message) override;

 private:
  online::THttpClient& m_client;
  std::function<std::string()> m_transactionID;
  util::IPrompt& m_prompt;
  std::function<void()> m_cancelScan;
};

}  // namespace wizard
