#include "widgets/frm_Proxy.h"

#include "online/Requests.h"
#include "online/StartupChecks.h"
#include "util/Text.h"
#include "widgets/GuiHelpers.h"
#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <charconv>

namespace widgets {

Tfrm_Proxy::Tfrm_Proxy(platform::SettingsStore& store, util::IPrompt& prompt, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_store(store), m_prompt(prompt) {
  setWindowTitle(QStringLiteral("Proxy"));
  SetDialogBorder(*this);
  setObjectName(QStringLiteral("frm_Proxy"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 14, 16, 12);

  cx_Proxy = new QCheckBox(QStringLiteral("Use Proxy ?"), this);
  cx_Proxy->setObjectName(QStringLiteral("cx_Proxy"));
  layout->addWidget(cx_Proxy);

  grp_Proxy = new QGroupBox(QStringLiteral("Proxy Server"), this);
  grp_Proxy->setObjectName(QStringLiteral("grp_Proxy"));
  auto* form = new QFormLayout(grp_Proxy);
  df_Proxy = new QLineEdit(grp_Proxy);
  df_Proxy->setObjectName(QStringLiteral("df_Proxy"));
  df_Proxy->setMaxLength(30);
  df_Proxy->setMinimumWidth(200);
  df_Port = new QLineEdit(grp_Proxy);
  df_Port->setObjectName(QStringLiteral("df_Port"));
  // Up to five optional digits, "_" marking the empty places.
  df_Port->setInputMask(QStringLiteral("00000;_"));
  df_Port->setFixedWidth(QFontMetrics(df_Port->font()).horizontalAdvance(QStringLiteral("00000")) + 24);
  auto* proxyLabel = new QLabel(QStringLiteral("Proxy Name:"), grp_Proxy);
  auto* portLabel = new QLabel(QStringLiteral("Port:"), grp_Proxy);
  form->addRow(proxyLabel, df_Proxy);
  form->addRow(portLabel, df_Port);
  layout->addWidget(grp_Proxy);

  auto* testRow = new QHBoxLayout;
  testRow->addWidget(new QLabel(QStringLiteral("Click here to test the connection:"), this));
  pb_Try = new QPushButton(QStringLiteral("Test"), this);
  pb_Try->setObjectName(QStringLiteral("pb_Try"));
  pb_Try->setAutoDefault(false);
  testRow->addWidget(pb_Try);
  layout->addLayout(testRow);

  pb_Ok = new QPushButton(QStringLiteral("OK"), this);
  pb_Ok->setObjectName(QStringLiteral("pb_Ok"));
  pb_Ok->setDefault(true);
  layout->addWidget(pb_Ok, 0, Qt::AlignRight);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  df_Port->setText(QStringLiteral("8080"));
  EnableDisableChildren(*grp_Proxy, false);
  connect(cx_Proxy, &QCheckBox::toggled, this, [this] { cx_ProxyClick(); });
  connect(pb_Try, &QPushButton::clicked, this, [this] { pb_TryClick(); });
  connect(pb_Ok, &QPushButton::clicked, this, [this] { done(kResultOk); });
}

void Tfrm_Proxy::showEvent(QShowEvent* event) {
  ReadRegistry();
  QDialog::showEvent(event);
}

std::optional<int> Tfrm_Proxy::PortFromField() const {
  const std::string text = util::Trim(df_Port->text().toStdString());
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

void Tfrm_Proxy::ReadRegistry() {
  // A ticked box needs its group enabled, an unticked one disabled, also when the value does not change.
  cx_Proxy->setChecked(m_store.ReadBool("ProxyActive").value_or(false));
  cx_ProxyClick();
  df_Proxy->setText(QString::fromStdString(m_store.ReadString("ProxyName").value_or(std::string{})));
  df_Port->setText(QString::number(m_store.ReadInteger("ProxyPort").value_or(8080)));
}

void Tfrm_Proxy::WriteRegistry() {
  m_store.WriteBool("ProxyActive", cx_Proxy->isChecked());
  m_store.WriteString("ProxyName", df_Proxy->text().toStdString());
  m_store.WriteInteger("ProxyPort", PortFromField().value_or(8080));
}

void Tfrm_Proxy::GetRegistryValues() {
  ReadRegistry();
  m_port = PortFromField().value_or(0);
  m_name = df_Proxy->text().toStdString();
  m_active = cx_Proxy->isChecked();
}

void Tfrm_Proxy::cx_ProxyClick() { EnableDisableChildren(*grp_Proxy, cx_Proxy->isChecked()); }

void Tfrm_Proxy::pb_TryClick() {
  if (m_client == nullptr) return;
  m_client->SetProxy({}, 0);
  bool portOk = true;
  if (cx_Proxy->isChecked()) {
    const std::optional<int> port = PortFromField();
    // A port field without digits cannot be tried: the proxy stays cleared and the test fails.
    portOk = port.has_value();
    if (portOk) m_client->SetProxy(df_Proxy->text().toStdString(), *port);
  }
  const bool working = portOk && online::CheckHTTP(online::VersionRequest(m_language), *m_client);
  m_prompt.Ask("Proxy",
               working ? "The connection is now working." : "There still appears to be an issue with the connection.",
               util::PromptButtons::Ok, util::PromptIcon::Information);
}

void Tfrm_Proxy::done(int result) {
  WriteRegistry();
  if (m_client != nullptr) {
    if (cx_Proxy->isChecked()) {
      m_port = PortFromField().value_or(0);
      m_name = df_Proxy->text().toStdString();
    } else {
      m_port = 0;
      m_name.clear();
    }
  }
  QDialog::done(result);
}

}  // namespace widgets
