#pragma once
// Tfrm_About: the about box with the main picture, the full version, the
// vendor's web address and the support e-mail address, each opening in the
// user's own browser or mail program.

#include <QDialog>
#include <QLabel>

#include <functional>
#include <string>
#include <string_view>

namespace widgets {

class Tfrm_About : public QDialog {
  Q_OBJECT
 public:
  // `baseURL` is the vendor's web address shown and opened.
  Tfrm_About(std::string baseURL, QWidget* parent = nullptr);

  void SetImage(const QPixmap& picture);
  // Opens an address; BrowseURL unless replaced (tests).
  std::function<bool(std::string_view)> OpenAddress;

 private:
  QLabel* m_image;
  std::string m_baseURL;
};

}  // namespace widgets
