#include "widgets/PageView.h"

#include "online/Browser.h"

#include <QImage>

namespace widgets {

TPageView::TPageView(QWidget* parent) : QTextBrowser(parent) {
  OpenOutside = [](std::string_view address) { return online::BrowseURL(address); };
  setOpenLinks(false);
  setOpenExternalLinks(false);
  connect(this, &QTextBrowser::anchorClicked, this, &TPageView::FollowLink);
}

bool TPageView::Navigate(const QString& address) {
  m_address = QUrl(address);
  online::HttpResult reply;
  if (m_client != nullptr) reply = m_client->Get(address.toStdString());
  document()->setBaseUrl(m_address);
  m_lastError = reply.ok ? std::string{} : (reply.error.empty() ? "no HTTP client" : reply.error);
  if (!reply.ok) {
    setHtml(QStringLiteral("<p style=\"color:#5a6b85\">This page could not be loaded.</p>"));
    return false;
  }
  setHtml(QString::fromUtf8(reply.body.data(), static_cast<qsizetype>(reply.body.size())));
  return true;
}

QVariant TPageView::loadResource(int type, const QUrl& name) {
  // Pictures of the page come from the same site through the same client; nothing else is fetched.
  if (type != QTextDocument::ImageResource || m_client == nullptr) return QTextBrowser::loadResource(type, name);
  const QUrl url = m_address.resolved(name);
  if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")) return {};
  const online::HttpResult reply = m_client->Get(url.toString().toStdString());
  if (!reply.ok) return {};
  return QImage::fromData(QByteArray::fromStdString(reply.body));
}

void TPageView::FollowLink(const QUrl& link) {
  const QUrl url = m_address.resolved(link);
  if (url.host() == m_address.host() && url.port() == m_address.port() &&
      (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))) {
    Navigate(url.toString());
    return;
  }
  if (OpenOutside) OpenOutside(url.toString().toStdString());
}

}  // namespace widgets
