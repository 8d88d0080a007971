#pragma once
// The request side of the start-up checks, the news area and the newsletter
// sign-up. The front end shows the boxes and pages; these functions send the
// requests and log lines and tell it what to show.

#include "online/Addresses.h"
#include "online/HttpClient.h"
#include "online/MekCookie.h"
#include "online/Transaction.h"

#include <functional>
#include <string>
#include <string_view>

namespace platform {
class SettingsStore;
}

namespace online {

inline constexpr std::string_view kLanguage = "ENG";

// "getkey.php?searchKey=VERSION&language=" + language: the connection test.
std::string VersionRequest(std::string_view language);
bool CheckConnection(THttpClient& client, std::string_view language);
// Up to `tries` further tests, waiting `waitMs` after each failed one; true at the first success.
bool RetryConnection(THttpClient& client, std::string_view language, int tries = 3, int waitMs = 1000,
                     const std::function<void(int)>& sleepMs = {});
// The long box shown before the retries.
std::string ConnectionRequiredText();
// The last box of a start that never reached the service: the address tried, and that
// the program closes.
std::string NoConnectionText(std::string_view address);

struct VersionCheck {
  std::string serverVersion;   // field 2 of the reply
  std::string programVersion;  // "%d.%d" of the program file
  bool updateRequired = false; // the two texts differ in any way
};
VersionCheck CheckVersion(THttpClient& client, std::string_view language, std::string_view programVersion);
// "A new version of this application is available. ..."
std::string NewVersionText();

struct NewsDecision {
  std::string flag;  // field 2 of the NEWS reply
  bool visible = false;
  std::string url;   // NewsURL + language + ".html", loaded whether visible or not
};
// Asks for the news flag.
NewsDecision ShowNews(THttpClient& client, const ServiceAddresses& addresses, std::string_view language);
// Logs "Show News: " + flag, once the news page has been asked for (after the referrer line).
void LogShowNews(THttpClient& client, std::string_view transactionID, const NewsDecision& news);

// Reads the cookies and logs the referrer found (possibly empty); a failure is
// logged under the news error code and gives an empty referrer.
std::string NoteReferrer(TMekCookie& cookie, THttpClient& client, std::string_view transactionID,
                         std::string_view site);

void LogNewsCheckbox(THttpClient& client, std::string_view transactionID, bool ticked);

enum class NewsletterCheck { Ok, MissingDetails, InvalidEmail };
// Missing details when the newsletter is ticked and a trimmed field is empty;
// an invalid e-mail (ValidEmail of the field as typed) otherwise.
NewsletterCheck CheckNewsletter(const RegistrationDetails& details, bool newsletter);
std::string NewsletterCheckText(NewsletterCheck check);
// Logs the warning line of a failed check.
void LogNewsletterWarning(THttpClient& client, std::string_view transactionID, NewsletterCheck check);
// Sends the details as typed and logs "Registration Complete.".
void SubmitRegistration(THttpClient& client, std::string_view transactionID, const RegistrationDetails& details,
                        bool newsletter);

// The stored "FirstName", "LastName" and "Email"; a missing value leaves its field as it is.
void ReadRegistrationDetails(const platform::SettingsStore& store, RegistrationDetails& details);
void WriteRegistrationDetails(platform::SettingsStore& store, const RegistrationDetails& details);

}  // namespace online
