#include "online/StartupChecks.h"

#include "online/ActionCodes.h"
#include "online/Requests.h"
#include "platform/Settings.h"
#include "util/Text.h"

#include <chrono>
#include <exception>
#include <thread>

namespace online {

std::string VersionRequest(std::string_view language) {
  return "getkey.php?searchKey=VERSION&language=" + EncodeValue(language);
}

bool CheckConnection(THttpClient& client, std::string_view language) {
  return CheckHTTP(VersionRequest(language), client);
}

bool RetryConnection(THttpClient& client, std::string_view language, int tries, int waitMs,
                     const std::function<void(int)>& sleepMs) {
  for (int i = 0; i < tries; ++i) {
    if (CheckConnection(client, language)) return true;
    if (sleepMs) {
      sleepMs(waitMs);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
  }
  return false;
}

std::string ConnectionRequiredText() {
  return "An active internet connection is required to use Trellmond as it enables us to provide you \r\nwith the "
         "latest configuration and the best support.\r\n\r\nIf you have a firewall, you will need to grant Trellmond "
         "internet access now and click on OK.\r\n\r\nIf you access the internet through a proxy then you will need "
         "to enter it's details on the following \r\nscreen.";
}

std::string NoConnectionText(std::string_view address) {
  return "Trellmond could not reach its service at " + std::string(address) +
         ".\r\n\r\nPlease check your internet connection and proxy settings, then start Trellmond again."
         "\r\n\r\nThe application will now close.";
}

VersionCheck CheckVersion(THttpClient& client, std::string_view language, std::string_view programVersion) {
  VersionCheck check;
  check.serverVersion = util::GetField(GetData(DispatchURL(VersionRequest(language), client)), 2, ';');
  check.programVersion = std::string(programVersion);
  check.updateRequired = check.serverVersion != check.programVersion;
  return check;
}

std::string NewVersionText() {
  return "A new version of this application is available.\r\nPlease download it to get the latest "
         "functionality.\r\n\r\nTrellmond will now close.";
}

NewsDecision ShowNews(THttpClient& client, const ServiceAddresses& addresses, std::string_view language) {
  NewsDecision news;
  const std::string request = "getkey.php?searchKey=NEWS&language=" + EncodeValue(language);
  news.flag = util::GetField(GetData(DispatchURL(request, client)), 2, ';');
  news.visible = news.flag == "1";
  news.url = addresses.NewsURL + std::string(language) + ".html";
  return news;
}

void LogShowNews(THttpClient& client, std::string_view transactionID, const NewsDecision& news) {
  AddLog(transactionID, "Show News: " + news.flag, action::kShowNewsOrNewsletterWarning, client);
}

std::string NoteReferrer(TMekCookie& cookie, THttpClient& client, std::string_view transactionID,
                         std::string_view site) {
  try {
    cookie.ReadCookie(site);
    std::string referrer = FirstNonEmptyValue(cookie, "REF");
    AddLog(transactionID, "Referer Noted as:<br>" + referrer, action::kNewsCheckboxOrReferrer, client);
    return referrer;
  } catch (const std::exception& e) {
    AddLog(transactionID, std::string("Error in showing News URL: ") + e.what(), action::kNewsError, client);
    return {};
  }
}

void LogNewsCheckbox(THttpClient& client, std::string_view transactionID, bool ticked) {
  AddLog(transactionID, "News Checkbutton clicked to: " + util::GetCheckboxValueAsText(ticked),
         action::kNewsCheckboxOrReferrer, client);
}

NewsletterCheck CheckNewsletter(const RegistrationDetails& details, bool newsletter) {
  if (newsletter && (util::Trim(details.Email).empty() || util::Trim(details.FirstName).empty() ||
                     util::Trim(details.LastName).empty())) {
    return NewsletterCheck::MissingDetails;
  }
  if (!util::ValidEmail(details.Email)) return NewsletterCheck::InvalidEmail;
  return NewsletterCheck::Ok;
}

std::string NewsletterCheckText(NewsletterCheck check) {
  switch (check) {
    case NewsletterCheck::MissingDetails:
      return "To receive your free PC Tips and Tricks newsletter please provide your first name, last name, and "
             "email address.\r\n\r\nAlternatively, please uncheck the newsletter checkbox.";
    case NewsletterCheck::InvalidEmail: return "The email address appears to be invalid. Please check it.";
    case NewsletterCheck::Ok: break;
  }
  return {};
}

void LogNewsletterWarning(THttpClient& client, std::string_view transactionID, NewsletterCheck check) {
  if (check == NewsletterCheck::MissingDetails) {
    AddLog(transactionID, "Showed newsletter checkbox warning.", action::kShowNewsOrNewsletterWarning, client);
  } else if (check == NewsletterCheck::InvalidEmail) {
    AddLog(transactionID, "Showed email invalid warning.", action::kEmailInvalid, client);
  }
}

void SubmitRegistration(THttpClient& client, std::string_view transactionID, const RegistrationDetails& details,
                        bool newsletter) {
  DispatchURL(WithRequestId(BuildRegistrationRequest(transactionID, details, newsletter)), client);
  AddLog(transactionID, "Registration Complete.", action::kRegistrationComplete, client);
}

void ReadRegistrationDetails(const platform::SettingsStore& store, RegistrationDetails& details) {
  if (auto v = store.ReadString("FirstName")) details.FirstName = *v;
  if (auto v = store.ReadString("LastName")) details.LastName = *v;
  if (auto v = store.ReadString("Email")) details.Email = *v;
}

void WriteRegistrationDetails(platform::SettingsStore& store, const RegistrationDetails& details) {
  store.WriteString("FirstName", details.FirstName);
  store.WriteString("LastName", details.LastName);
  store.WriteString("Email", details.Email);
}

}  // namespace online
