#pragma once
// Tfrm_Proxy: the "Proxy" dialog. It loads and stores the proxy settings
// ("ProxyActive", "ProxyName", "ProxyPort") in the settings store, tests the
// connection through the entered proxy, and after closing (by OK or the
// close box alike) tells the caller the host and port to use.

#include "online/HttpClient.h"
#include "platform/Settings.h"
#include "util/Prompt.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <optional>
#include <string>

namespace widgets {

class Tfrm_Proxy : public QDialog {
  Q_OBJECT
 public:
  Tfrm_Proxy(platform::SettingsStore& store, util::IPrompt& prompt, QWidget* parent = nullptr);

  void SetHTTP(online::THttpClient* client) { m_client = client; }
  void SetLanguage(std::string language) { m_language = std::move(language); }

  // Loads the controls from the store, then the fields from the controls, without showing.
  void GetRegistryValues();
  void ReadRegistry();
  void WriteRegistry();

  int Port() const { return m_port; }
  const std::string& ProxyName() const { return m_name; }
  bool Active() const { return m_active; }

  QCheckBox* cx_Proxy;
  QGroupBox* grp_Proxy;
  QLineEdit* df_Proxy;
  QLineEdit* df_Port;
  QPushButton* pb_Try;
  QPushButton* pb_Ok;

 public slots:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void cx_ProxyClick();
  void pb_TryClick();
  // The trimmed port text as a number; nothing when it holds no digits.
  std::optional<int> PortFromField() const;

  platform::SettingsStore& m_store;
  util::IPrompt& m_prompt;
  online::THttpClient* m_client = nullptr;
  std::string m_language = "ENG";
  int m_port = 8080;
  std::string m_name;
  bool m_active = false;
};

}  // namespace widgets
