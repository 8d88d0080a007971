#pragma once
// Tfrm_WebBrowser: the program's own browser window for the help and support
// pages. It loads its address a second after it is shown, so the window is
// on screen before the request blocks.

#include "widgets/PageView.h"

#include <QDialog>
#include <QTimer>

namespace widgets {

class Tfrm_WebBrowser : public QDialog {
  Q_OBJECT
 public:
  Tfrm_WebBrowser(online::THttpClient* client, QWidget* parent = nullptr);

  void SetAddress(const QString& address) { m_address = address; }
  TPageView& View() { return *m_view; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TPageView* m_view;
  QTimer m_timer;
  QString m_address;
};

}  // namespace widgets
