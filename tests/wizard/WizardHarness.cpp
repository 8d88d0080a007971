#include "tests/wizard/WizardHarness.h"

#include "tests/service/TestDatabase.h"

#include <QApplication>
#include <QPushButton>

#include <cstdlib>
#include <filesystem>

namespace testsupport {

ModalDriver::ModalDriver() {
  actions[QStringLiteral("frm_Splash")] = [](QDialog& d) {
    d.findChild<QPushButton*>(QStringLiteral("pb_Ok"))->click();
  };
  connect(&m_timer, &QTimer::timeout, this, &ModalDriver::Poll);
  m_timer.start(25);
}

void ModalDriver::Poll() {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (dialog == nullptr || dialog->property("driven").toBool()) return;
  dialog->setProperty("driven", true);
  seen.push_back(dialog->objectName());
  const auto action = actions.find(dialog->objectName());
  if (action != actions.end()) action->second(*dialog);
}

WizardHarness::WizardHarness() {
  // The settings store and the user folders of this test only.
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  std::filesystem::create_directories(dir / "config");
  std::filesystem::create_directories(dir / "data");
}

WizardHarness::~WizardHarness() = default;

void WizardHarness::StartService(std::vector<std::string> args) {
  m_service = std::make_unique<ServiceProcess>((dir / "service.sqlite").string(), std::move(args));
  m_service->Start();
}

std::unique_ptr<wizard::Tfrm_Main> WizardHarness::MakeWindow() {
  return MakeWindow({m_service->BaseURL(), "Hv4kTq"});
}

std::unique_ptr<wizard::Tfrm_Main> WizardHarness::MakeWindow(const std::vector<std::string>& arguments) {
  auto window = std::make_unique<wizard::Tfrm_Main>(arguments);
  window->SetPrompt(&prompt);
  window->HTTP().SetTimeouts(2000, 5000);
  window->OpenInBrowser = [this](std::string_view address) {
    browsed.emplace_back(address);
    return true;
  };
  window->OpenFolder = [this](std::string_view folder) { explored.emplace_back(folder); };
  return window;
}

std::unique_ptr<wizard::Tfrm_Main> WizardHarness::Start() {
  auto window = MakeWindow();
  window->FormCreate();
  return window;
}

std::vector<std::vector<std::string>> WizardHarness::Rows(const std::string& sql) {
  return QueryRows((dir / "service.sqlite").string(), sql);
}

std::vector<std::vector<std::string>> WizardHarness::Logs(const std::string& transaction) {
  return Rows("SELECT action, message FROM logs WHERE trans = '" + transaction + "' ORDER BY id");
}

std::vector<std::string> WizardHarness::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : prompt.boxes) texts.push_back(box.text);
  return texts;
}

std::string WizardHarness::SettingsFile() const { return ReadFileBytes(dir / "config" / "Pelmora" / "Trellmond.conf"); }

}  // namespace testsupport
