#include "online/Requests.h"

#include "platform/Files.h"

#include "online/ServiceAddress.h"
#include "util/Text.h"

#include <random>

namespace online {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char byte) {
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

bool KeptInValue(unsigned char c) {
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  return std::string_view("-._~!$'()*,;:@/?").find(static_cast<char>(c)) != std::string_view::npos;
}

bool NeverInAddress(unsigned char c) {
  return c <= 32 || c >= 127 || std::string_view("\\#\"<>`{}|^").find(static_cast<char>(c)) != std::string_view::npos;
}

// Encodes `message` but stops before the encoded text would exceed the limit.
std::string EncodeMessage(std::string_view message) {
  std::string encoded = EncodeValue(message);
  if (encoded.size() <= kMaxEncodedMessage) return encoded;
  const std::string mark = EncodeValue(" [cut: " + std::to_string(message.size()) + " bytes]");
  encoded.clear();
  for (char c : message) {
    const std::string piece = EncodeValue(std::string_view(&c, 1));
    if (encoded.size() + piece.size() + mark.size() > kMaxEncodedMessage) break;
    encoded += piece;
  }
  return encoded + mark;
}

class BusyCursor {
 public:
  explicit BusyCursor(THttpClient& client) : m_client(client) {
    if (m_client.OnBusy) m_client.OnBusy(true);
  }
  ~BusyCursor() {
    if (m_client.OnBusy) m_client.OnBusy(false);
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  THttpClient& m_client;
};

}  // namespace

std::string ConnectionProblemText() {
  return "There seems to be a problem connecting to the internet.\r\nPlease check your internet connection and click "
         "on Retry.";
}

std::string ConnectionAbortedText() {
  return "Connection aborted. The application will now close.\r\n\r\nIf this problem persists, please email: " +
         std::string(kSupportEmail) + ".";
}

std::string EncodeValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char ch : value) {
    const auto c = static_cast<unsigned char>(ch);
    if (KeptInValue(c)) {
      out.push_back(ch);
    } else {
      AppendEscaped(out, c);
    }
  }
  return out;
}

std::string PrepareRequestText(std::string_view request) {
  std::string out;
  out.reserve(request.size());
  for (char ch : request) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeverInAddress(c)) {
      AppendEscaped(out, c);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

bool CheckHTTP(std::string_view request, THttpClient& client) {
  return client.Get(client.ServiceURL() + PrepareRequestText(request)).ok;
}

std::string DispatchURL(std::string_view request, THttpClient& client) {
  // After an Abort the program is closing; further requests fail quietly
  // instead of stacking more Retry/Abort boxes.
  if (client.TerminationRequested()) return {};
  BusyCursor busy(client);
  const std::string url = client.ServiceURL() + PrepareRequestText(request);
  for (;;) {
    HttpResult result = client.Get(url);
    if (result.ok) return std::move(result.body);
    const util::PromptAnswer answer = client.Prompt().Ask("Trellmond", ConnectionProblemText(),
                                                          util::PromptButtons::RetryAbort, util::PromptIcon::Error);
    if (answer == util::PromptAnswer::Retry) continue;
    client.Prompt().Ask("Trellmond", ConnectionAbortedText(), util::PromptButtons::Ok, util::PromptIcon::Information);
    client.RequestTermination();
    return {};
  }
}

std::string GetData(std::string_view reply) {
  const std::size_t open = reply.find("<body>");
  if (open == std::string_view::npos) return util::Trim(reply);
  const std::size_t start = std::min(reply.size(), open + std::string_view("<body>").size() + 1);
  const std::size_t close = reply.find("</body>");
  if (close == std::string_view::npos || close < start) return {};
  return util::Trim(reply.substr(start, close - start));
}

std::vector<std::string> SplitBodyLines(std::string_view body) {
  std::vector<std::string> lines;
  constexpr std::string_view kBreak = "<BR />";
  for (std::size_t at = body.find(kBreak); at != std::string_view::npos; at = body.find(kBreak)) {
    lines.emplace_back(body.substr(0, at));
    body.remove_prefix(at + kBreak.size());
  }
  return lines;
}

void PopulateStringList(std::string_view request, std::string_view suffix, std::vector<std::string>& list,
                        THttpClient& client) {
  const std::string body = GetData(DispatchURL(std::string(request) + std::string(suffix), client));
  list = SplitBodyLines(body);
}

std::string BuildLogRequest(std::string_view transaction, std::string_view message, std::string_view actionCode) {
  return "addlog.php?transaction=" + EncodeValue(transaction) + "&message=" + EncodeMessage(message) +
         "&action=" + EncodeValue(actionCode);
}

std::string NewRequestId() {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::string id;
  for (int half = 0; half < 2; ++half) {
    const std::uint64_t bits = generator();
    for (int shift = 60; shift >= 0; shift -= 4) id += kHex[(bits >> shift) & 15];
  }
  return id;
}

std::string WithRequestId(std::string_view request) { return std::string(request) + "&request=" + NewRequestId(); }

void AddLog(std::string_view transaction, std::string_view message, std::string_view actionCode,
            THttpClient& client) {
  // The id is fixed before DispatchURL, whose Retry sends the very same address again.
  DispatchURL(WithRequestId(BuildLogRequest(transaction, message, actionCode)), client);
}

std::string CatalogueRequest(std::string_view edition) {
  return "getfileinfo.php?method=getFileDetails&scantype=1&version=" + EncodeValue(edition) + "&language=";
}

std::string CatalogueSuffix(std::string_view language) { return EncodeValue(language); }

std::string ProgramEdition() {
  const std::string version = platform::GetFmtFileVersion(platform::OwnExecutablePath(), "%d.%d");
  return version.empty() ? "1.0" : version;
}

std::string FileOverviewRequest(std::string_view edition, std::string_view language, std::string_view scanType) {
  return "getfileinfo.php?method=getFileOverview&version=" + EncodeValue(edition) +
         "&language=" + EncodeValue(language) + "&scantype=" + EncodeValue(scanType);
}

}  // namespace online
