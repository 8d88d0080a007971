#pragma once
// Opening an address in the user's own web browser, through the desktop's
// default handler (xdg-open) rather than a registered browser command.

#include <string_view>

namespace online {

// True when xdg-open was found on PATH and started with the address as its
// only argument; the browser runs on by itself (nothing waits for it).
bool BrowseURL(std::string_view address);

}  // namespace online
