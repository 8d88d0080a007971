#pragma once
// TPageView: a simple HTML view that loads the vendor's pages (news, help,
// support) through the program's one HTTP client, so that the proxy and the
// headers of every other request apply to them too. Links to other pages of
// the site load in place; other addresses (mailto:, other sites) open in the
// user's own programs.

#include "online/HttpClient.h"

#include <QTextBrowser>
#include <QUrl>

#include <functional>
#include <string>
#include <string_view>

namespace widgets {

class TPageView : public QTextBrowser {
  Q_OBJECT
 public:
  explicit TPageView(QWidget* parent = nullptr);

  void SetHTTP(online::THttpClient* client) { m_client = client; }
  // Loads the page; false (and a short notice in the view) when it could not be fetched.
  bool Navigate(const QString& address);
  const QUrl& Address() const { return m_address; }
  // Why the last Navigate failed (empty after a success).
  const std::string& LastError() const { return m_lastError; }
  // Opens an address outside the program; BrowseURL unless replaced (tests).
  std::function<bool(std::string_view)> OpenOutside;

 protected:
  QVariant loadResource(int type, const QUrl& name) override;

 private:
  void FollowLink(const QUrl& link);

  online::THttpClient* m_client = nullptr;
  QUrl m_address;
  std::string m_lastError;
};

}  // namespace widgets
