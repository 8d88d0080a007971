#pragma once
// Requests to the vendor web service: the silent connection test, the request
// call with its Retry/Abort loop, the reply body, list replies and the remote
// log. Request texts are appended to the client's service address.
//
// Values put after "=" go through EncodeValue: the service decodes them back
// to exactly what the program holds, so "&", "#", "%", "+" and "=" in a log
// line or a name no longer cut or change it on the way.

#include "online/HttpClient.h"

#include <string>
#include <string_view>
#include <vector>

namespace online {

// "There seems to be a problem connecting ..." and the closing message.
std::string ConnectionProblemText();
std::string ConnectionAbortedText();

// Percent-encodes a request value: everything except letters, digits and
// - . _ ~ ! $ ' ( ) * , ; : @ / ?  (so a space is "%20", a backslash "%5C").
std::string EncodeValue(std::string_view value);
// The request text as sent: spaces as "%20", backslashes as "%5C", and the
// bytes that can never stand in an address (control characters, bytes above
// 126, "#", quotes, angle brackets and the like) percent-encoded too.
std::string PrepareRequestText(std::string_view request);

// True when the request got a reply (no prompt, no termination).
bool CheckHTTP(std::string_view request, THttpClient& client);
// The reply, asking Retry/Abort on every failure; empty after Abort, which
// also shows the closing message and asks the front end to terminate.
std::string DispatchURL(std::string_view request, THttpClient& client);
// The text between "<body>" (and the character after it) and "</body>", trimmed;
// the whole reply trimmed when there is no "<body>"; empty without "</body>".
std::string GetData(std::string_view reply);
// Refills `list` with the body's pieces ending in "<BR />" (not trimmed).
void PopulateStringList(std::string_view request, std::string_view suffix, std::vector<std::string>& list,
                        THttpClient& client);
// Splits a body at "<BR />" as PopulateStringList does.
std::vector<std::string> SplitBodyLines(std::string_view body);

// A fresh id for one stored request (32 hex digits): sent with it, and again
// with every Retry of it, so the service stores the request once however
// often a lost reply makes the user retry.
std::string NewRequestId();
// `request` with "&request=" and a fresh id appended.
std::string WithRequestId(std::string_view request);

// Longest encoded log message sent; a longer one is cut and marked, since the
// service refuses over-long addresses and Retry could never succeed.
inline constexpr std::size_t kMaxEncodedMessage = 6000;
// "addlog.php?transaction=...&message=...&action=..." with encoded values;
// AddLog sends it with a request id.
std::string BuildLogRequest(std::string_view transaction, std::string_view message, std::string_view actionCode);
void AddLog(std::string_view transaction, std::string_view message, std::string_view actionCode,
            THttpClient& client);

// The edition sent with the catalogue and overview requests: the program's major.minor version.
std::string ProgramEdition();
// The marker catalogue request and suffix, and the file-type overview request.
std::string CatalogueRequest(std::string_view edition);
std::string CatalogueSuffix(std::string_view language);
std::string FileOverviewRequest(std::string_view edition, std::string_view language, std::string_view scanType);

}  // namespace online
