#pragma once
// What the wizard tests share: a real service on 127.0.0.1 with its own
// database, a private settings folder, the scripted prompt, and a driver that
// answers the wizard's own modal dialogs (splash, proxy, about, browser) as
// they come up.

#include "tests/online/ScriptedPrompt.h"
#include "tests/service/ServiceProcess.h"
#include "tests/support/TempDir.h"
#include "wizard/Main.h"

#include <QDialog>
#include <QObject>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ModalDriver : public QObject {
 public:
  ModalDriver();
  // Actions by dialog object name ("frm_Splash", "frm_Proxy", ...); each dialog is acted on once.
  std::map<QString, std::function<void(QDialog&)>> actions;
  std::vector<QString> seen;

 private:
  void Poll();
  QTimer m_timer;
};

class WizardHarness {
 public:
  WizardHarness();
  ~WizardHarness();

  void StartService(std::vector<std::string> args = {});
  ServiceProcess& Service() { return *m_service; }
  // A window for the running service (or the given arguments), with the prompt and hooks of this harness.
  std::unique_ptr<wizard::Tfrm_Main> MakeWindow();
  std::unique_ptr<wizard::Tfrm_Main> MakeWindow(const std::vector<std::string>& arguments);
  // Window, then FormCreate.
  std::unique_ptr<wizard::Tfrm_Main> Start();

  // (action, message) of every log line of a transaction, in order.
  std::vector<std::vector<std::string>> Logs(const std::string& transaction);
  std::vector<std::vector<std::string>> Rows(const std::string& sql);
  std::vector<std::string> BoxTexts() const;
  // Names the drives as TRELLMOND_DRIVES does ("E=/a.img;F=/out") and rebuilds the drive table.
  void SetDrives(const std::string& drives);
  // A small FAT16 card with a few files, attached as the letter.
  std::filesystem::path AttachSmallCard(char letter);
  std::string SettingsFile() const;

  TempDir dir;
  ScriptedPrompt prompt;
  ModalDriver driver;
  std::vector<std::string> browsed;
  std::vector<std::string> explored;

 private:
  std::unique_ptr<ServiceProcess> m_service;
};

// A control of the window by its object name (nullptr when there is none).
// Selects the drive in the Setup panel's list as a user's click would; false when it is not listed.
bool SelectDrive(wizard::Tfrm_Main& window, char letter);

template <typename T>
T* Control(QWidget& window, const char* name) {
  return window.findChild<T*>(QString::fromLatin1(name));
}

}  // namespace testsupport
