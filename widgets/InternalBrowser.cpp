#include "widgets/InternalBrowser.h"

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "widgets/frm_WebBrowser.h"

namespace widgets {

void ShowInternalBrowser(std::string_view transactionID, std::string_view address, online::THttpClient& client,
                         QWidget* owner) {
  online::AddLog(transactionID, "Internal WebBrowser requested: " + std::string(address),
                 online::action::kInternalBrowserOpened, client);
  {
    Tfrm_WebBrowser browser(&client, owner);
    browser.SetAddress(QString::fromStdString(std::string(address)));
    browser.exec();
  }
  online::AddLog(transactionID, "Internal WebBrowser closed.", online::action::kInternalBrowserClosed, client);
}

}  // namespace widgets
