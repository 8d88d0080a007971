#pragma once
// ShowInternalBrowser: the program's browser window on one address, with the
// two remote log lines around it.

#include "online/HttpClient.h"

#include <QWidget>

#include <string_view>

namespace widgets {

void ShowInternalBrowser(std::string_view transactionID, std::string_view address, online::THttpClient& client,
                         QWidget* owner);

}  // namespace widgets
