#include "wizard/ExceptionFilter.h"

#include "online/ActionCodes.h"
#include "online/Requests.h"

#include <algorithm>
#include <cctype>

namespace wizard {
namespace {

// Every "\r\n" as "<BR>", so the log line stays one line.
std::string BreaksAsTags(std::string text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      result += "<BR>";
      ++i;
    } else {
      result += text[i];
    }
  }
  return result;
}

}  // namespace

std::string ExceptionLogText(const std::string& message, const std::vector<std::string>& stackLines) {
  std::string text = message + "<BR>";
  const std::size_t count = std::min<std::size_t>(stackLines.size(), 21);
  for (std::size_t i = 0; i < count; ++i) text += "<BR>" + stackLines[i];
  return BreaksAsTags(std::move(text));
}

std::string LowMemoryText() {
  return "Your system does not have enough memory to complete this operation.\r\nYou can preserve memory by selecting "
         "specific file types in \"Options\"\r\nor by de-selecting the \"Show Images\" check box.\r\nYou'll find these "
         "both in the Setup screen";
}

TNewDialogFilter::TNewDialogFilter(online::THttpClient& client, std::function<std::string()> transactionID,
                                   util::IPrompt& prompt, std::function<void()> cancelScan)
    : m_client(client), m_transactionID(std::move(transactionID)), m_prompt(prompt),
      m_cancelScan(std::move(cancelScan)) {}

int TNewDialogFilter::ExceptionMessage(const std::string&, std::string&) { return 1; }

int TNewDialogFilter::LogException(const std::string&, const std::string&) { return 1; }

int TNewDialogFilter::ShowException(const std::string&, std::uintptr_t, const std::vector<std::string>& stackLines,
                                    const std::string& message) {
  online::AddLog(m_transactionID(), ExceptionLogText(message, stackLines), online::action::kUnexpected, m_client);
  if (message.find("System Error. Code: 14.") != std::string::npos) {
    m_prompt.Ask("Trellmond", LowMemoryText(), util::PromptButtons::Ok, util::PromptIcon::Error);
    if (m_cancelScan) m_cancelScan();
  }
  return 0;
}

}  // namespace wizard
