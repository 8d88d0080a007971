#include "widgets/QtPrompt.h"

#include "widgets/frm_Security.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace widgets {
namespace {

using util::PromptAnswer;
using util::PromptButtons;

std::vector<std::pair<QMessageBox::StandardButton, PromptAnswer>> ButtonsFor(PromptButtons buttons) {
  using B = QMessageBox;
  switch (buttons) {
    case PromptButtons::Ok: return {{B::Ok, PromptAnswer::Ok}};
    case PromptButtons::OkCancel: return {{B::Ok, PromptAnswer::Ok}, {B::Cancel, PromptAnswer::Cancel}};
    case PromptButtons::YesNo: return {{B::Yes, PromptAnswer::Yes}, {B::No, PromptAnswer::No}};
    case PromptButtons::YesNoCancel:
      return {{B::Yes, PromptAnswer::Yes}, {B::No, PromptAnswer::No}, {B::Cancel, PromptAnswer::Cancel}};
    case PromptButtons::RetryCancel: return {{B::Retry, PromptAnswer::Retry}, {B::Cancel, PromptAnswer::Cancel}};
    case PromptButtons::AbortRetryIgnore:
      return {{B::Abort, PromptAnswer::Abort}, {B::Retry, PromptAnswer::Retry}, {B::Ignore, PromptAnswer::Ignore}};
    case PromptButtons::RetryAbort: return {{B::Abort, PromptAnswer::Abort}, {B::Retry, PromptAnswer::Retry}};
    case PromptButtons::YesNoYesToAll:
      return {{B::Yes, PromptAnswer::Yes}, {B::No, PromptAnswer::No}, {B::YesToAll, PromptAnswer::YesToAll}};
    case PromptButtons::OkSaveReport:
      return {{B::Ok, PromptAnswer::Ok}, {B::Save, PromptAnswer::SaveReport}};
  }
  return {{B::Ok, PromptAnswer::Ok}};
}

QMessageBox::Icon IconFor(util::PromptIcon icon) {
  switch (icon) {
    case util::PromptIcon::Information: return QMessageBox::Information;
    case util::PromptIcon::Warning: return QMessageBox::Warning;
    case util::PromptIcon::Error: return QMessageBox::Critical;
    case util::PromptIcon::Question: return QMessageBox::Question;
    case util::PromptIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

// The answer a box gives when closed without a button: its cancelling choice.
PromptAnswer EscapeAnswer(PromptButtons buttons) {
  switch (buttons) {
    case PromptButtons::Ok:
    case PromptButtons::OkSaveReport:
      return PromptAnswer::Ok;
    case PromptButtons::YesNo:
    case PromptButtons::YesNoYesToAll: return PromptAnswer::No;
    case PromptButtons::RetryAbort:
    case PromptButtons::AbortRetryIgnore: return PromptAnswer::Abort;
    default: return PromptAnswer::Cancel;
  }
}

}  // namespace

QString DisplayText(std::string_view text) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

QWidget* QtPrompt::Owner() const {
  if (m_owner != nullptr && m_owner->isVisible()) return m_owner;
  return QApplication::activeWindow();
}

util::PromptAnswer QtPrompt::Ask(std::string_view caption, std::string_view text, util::PromptButtons buttons,
                                 util::PromptIcon icon) {
  QMessageBox box(Owner());
  box.setWindowTitle(caption.empty() ? QStringLiteral("Trellmond") : DisplayText(caption));
  box.setIcon(IconFor(icon));
  box.setText(DisplayText(text));
  box.setTextFormat(Qt::PlainText);
  const auto choices = ButtonsFor(buttons);
  for (const auto& [button, answer] : choices) box.addButton(button);
  if (buttons == PromptButtons::OkSaveReport) box.button(QMessageBox::Save)->setText(QStringLiteral("Save a report"));
  box.setDefaultButton(choices.front().first);
  const int pressed = box.exec();
  for (const auto& [button, answer] : choices) {
    if (pressed == button) return answer;
  }
  return EscapeAnswer(buttons);
}

std::optional<std::string> QtPrompt::Input(std::string_view caption, std::string_view prompt,
                                           std::string_view defaultValue) {
  bool ok = false;
  const QString value = QInputDialog::getText(Owner(), DisplayText(caption), DisplayText(prompt), QLineEdit::Normal,
                                              DisplayText(defaultValue), &ok);
  if (!ok) return std::nullopt;
  return value.toStdString();
}

void QtPrompt::SecurityWarning() {
  Tfrm_SecurityWarning dialog(Owner());
  dialog.exec();
}

}  // namespace widgets
