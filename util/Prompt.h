#pragma once
// The one way engine code talks to the user. Each front end implements it: Qt
// dialogs in the wizard, flags or terminal questions in the CLI, scripted
// answers in tests. Texts arrive exactly as they are to be shown ("\r\n" breaks).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace util {

// OkSaveReport: "OK" and "Save a report" (answered SaveReport).
enum class PromptButtons {
  Ok,
  OkCancel,
  YesNo,
  YesNoCancel,
  RetryCancel,
  AbortRetryIgnore,
  RetryAbort,
  YesNoYesToAll,
  OkSaveReport
};
enum class PromptIcon { None, Information, Warning, Error, Question };
enum class PromptAnswer { Ok, Cancel, Yes, No, Retry, Abort, Ignore, YesToAll, SaveReport };

class IPrompt {
 public:
  virtual ~IPrompt() = default;
  // A modal message box; returns the button pressed.
  virtual PromptAnswer Ask(std::string_view caption, std::string_view text, PromptButtons buttons,
                           PromptIcon icon) = 0;
  // A modal input box; std::nullopt when cancelled.
  virtual std::optional<std::string> Input(std::string_view caption, std::string_view prompt,
                                           std::string_view defaultValue) = 0;
  // The modal notice that the drive cannot be read for want of rights.
  virtual void SecurityWarning() = 0;
};

// A prompt for unattended runs: answers every box with its first button,
// every input box with the default, and remembers nothing.
class DefaultPrompt : public IPrompt {
 public:
  PromptAnswer Ask(std::string_view, std::string_view, PromptButtons buttons, PromptIcon) override;
  std::optional<std::string> Input(std::string_view, std::string_view, std::string_view defaultValue) override {
    return std::string(defaultValue);
  }
  void SecurityWarning() override {}
};

// The prompt engine code uses when its owner set none.
IPrompt& FallbackPrompt();

// "Let the window process pending messages": bound to the event loop by the wizard,
// to the progress display by the CLI.
using ProcessMessagesFn = std::function<void()>;

}  // namespace util
