#pragma once
// The addresses of the vendor's site, derived once from the base URL.

#include <string>
#include <string_view>

namespace online {

struct ServiceAddresses {
  std::string BaseURL;
  std::string ServiceURL;  // every request text is appended to it
  std::string HelpURL;
  std::string NewsURL;     // the language and ".html" are appended
  std::string NewsSubURL;
  std::string SupportURL;
};

// Addresses under `baseURL` (a trailing "/" is dropped); the default base URL when empty.
ServiceAddresses MakeServiceAddresses(std::string_view baseURL);

}  // namespace online
