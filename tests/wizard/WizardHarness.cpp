#include "tests/wizard/WizardHarness.h"

#include "drives/ZubDrvListBox.h"
#include "platform/DriveTable.h"
#include "tests/service/TestDatabase.h"
#include "tests/support/FatImage.h"
#include "util/Text.h"

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

WizardHarness::~WizardHarness() {
  // The drive table is process-wide: the next test starts without this one's drives.
  unsetenv("TRELLMOND_DRIVES");
  unsetenv("TRELLMOND_DEVICE_EVENTS");
  for (const auto& entry : platform::DriveTable::Instance().Entries()) {
    if (entry.isImage) platform::DriveTable::Instance().Detach(entry.letter);
  }
  platform::DriveTable::Instance().Rebuild();
}

void WizardHarness::SetDrives(const std::string& drives) {
  setenv("TRELLMOND_DRIVES", drives.c_str(), 1);
  platform::DriveTable::Instance().Rebuild();
}

std::filesystem::path WizardHarness::AttachSmallCard(char letter) {
  const auto path = dir / (std::string("card-") + letter + ".img");
  FatImage card(path, {.fatBits = 16, .label = "SMALLCARD"});
  card.MakeDir("/DCIM");
  card.AddFile("/DCIM/note.txt", std::string(3000, 'n'));
  card.AddFile("/DCIM/gone.txt", std::string(5000, 'g'));
  card.Delete("/DCIM/gone.txt");
  const char* existing = std::getenv("TRELLMOND_DRIVES");
  std::string drives = existing != nullptr ? existing : "";
  if (!drives.empty()) drives += ";";
  SetDrives(drives + letter + "=" + path.string());
  return path;
}

bool SelectDrive(wizard::Tfrm_Main& window, char letter) {
  auto* list = window.findChild<drives::TZubDrvListBox*>(QStringLiteral("Drives"));
  for (int row = 0; list != nullptr && row < list->count(); ++row) {
    if (util::GetField(list->ItemText(row).toStdString(), 3, ';') == std::string(1, letter)) {
      list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
      return true;
    }
  }
  return false;
}

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
