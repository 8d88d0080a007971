#include "util/Prompt.h"

namespace util {

PromptAnswer DefaultPrompt::Ask(std::string_view, std::string_view, PromptButtons buttons, PromptIcon) {
  switch (buttons) {
    case PromptButtons::Ok:
    case PromptButtons::OkCancel:
    case PromptButtons::OkSaveReport:
      return PromptAnswer::Ok;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoCancel:
    case PromptButtons::YesNoYesToAll: return PromptAnswer::Yes;
    case PromptButtons::RetryCancel: return PromptAnswer::Cancel;
    case PromptButtons::AbortRetryIgnore:
    case PromptButtons::RetryAbort: return PromptAnswer::Abort;
  }
  return PromptAnswer::Ok;
}

IPrompt& FallbackPrompt() {
  static DefaultPrompt prompt;
  return prompt;
}

}  // namespace util
