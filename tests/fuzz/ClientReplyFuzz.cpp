// The client's reading of a reply: the body between "<body>" and "</body>", the list
// lines ending in "<BR />", the fields of a value reply and the transaction number.

#include <string>

#include "online/Requests.h"
#include "online/Transaction.h"
#include "tests/fuzz/FuzzTarget.h"
#include "util/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply = fuzz::Text(data, size);
  const std::string body = online::GetData(reply);
  for (const std::string& line : online::SplitBodyLines(body)) {
    for (int field = 1; field <= 10; ++field) (void)util::GetField(line, field, ';');
  }
  (void)util::GetField(body, 2, ';');
  (void)online::ValidTransactionID(body);
  return 0;
}
