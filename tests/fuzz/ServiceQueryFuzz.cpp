// The service's reading of a request target: the query split at "&" and "=", the
// percent escapes decoded, the first value of each key.

#include <string>

#include "service/QueryText.h"
#include "tests/fuzz/FuzzTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view target = fuzz::Text(data, size);
  (void)service::PercentDecode(target);
  const service::ParsedQuery query = service::ParseQuery(target);
  for (const auto& [key, value] : query.values) {
    if (service::QueryValue(query, key) != value) __builtin_trap();
  }
  (void)service::QueryValue(query, "transaction");
  return 0;
}
