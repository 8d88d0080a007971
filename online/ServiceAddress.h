#pragma once
// Where the vendor web service lives by default. The wizard, the CLI and
// `trellmond-service` started without arguments all use these, so they find
// each other on this machine without any configuration.

#include <string_view>

namespace online {

// A fixed loopback port, documented in the service's --help.
inline constexpr int kDefaultServicePort = 8642;
inline constexpr std::string_view kDefaultServiceHost = "127.0.0.1";
// The default server base URL (no trailing slash).
inline constexpr std::string_view kDefaultBaseURL = "http://127.0.0.1:8642";
// The fixed Referer header: the default base URL, whatever base URL is in use.
inline constexpr std::string_view kRefererURL = "http://127.0.0.1:8642/TrellmondApplication";
// The address named in the closing message and the about box.
inline constexpr std::string_view kSupportEmail = "support@trellmond.example";
// The site word that selects the vendor's browser cookies.
inline constexpr std::string_view kCookieSite = "trellmond";

}  // namespace online
