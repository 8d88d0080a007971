#include "online/Addresses.h"

#include "online/ServiceAddress.h"

namespace online {

ServiceAddresses MakeServiceAddresses(std::string_view baseURL) {
  std::string base(baseURL.empty() ? kDefaultBaseURL : baseURL);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return {base, base + "/php/", base + "/help.html", base + "/news", base + "/TrellmondNewsSub.html",
          base + "/support/"};
}

}  // namespace online
