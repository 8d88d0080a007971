#include "widgets/frm_WebBrowser.h"

#include <QVBoxLayout>

namespace widgets {

Tfrm_WebBrowser::Tfrm_WebBrowser(online::THttpClient* client, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Web Browser"));
  setObjectName(QStringLiteral("frm_WebBrowser"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  resize(696, 480);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  m_view = new TPageView(this);
  m_view->SetHTTP(client);
  layout->addWidget(m_view);
  m_timer.setSingleShot(true);
  m_timer.setInterval(1000);
  connect(&m_timer, &QTimer::timeout, this, [this] { m_view->Navigate(m_address); });
}

void Tfrm_WebBrowser::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  m_timer.start();
}

}  // namespace widgets
