#pragma once
// The wizard's prompt: message boxes, input boxes and the security warning as
// modal Qt dialogs over the owner window. Texts arrive with "\r\n" breaks and
// are shown with plain line breaks. Owned by the window that passes itself.

#include "util/Prompt.h"

#include <QPointer>
#include <QWidget>

namespace widgets {

class QtPrompt : public util::IPrompt {
 public:
  explicit QtPrompt(QWidget* owner = nullptr) : m_owner(owner) {}

  util::PromptAnswer Ask(std::string_view caption, std::string_view text, util::PromptButtons buttons,
                         util::PromptIcon icon) override;
  std::optional<std::string> Input(std::string_view caption, std::string_view prompt,
                                   std::string_view defaultValue) override;
  void SecurityWarning() override;

 private:
  QWidget* Owner() const;
  QPointer<QWidget> m_owner;
};

// "\r\n" (and a lone "\r") as the line breaks Qt shows.
QString DisplayText(std::string_view text);

}  // namespace widgets
