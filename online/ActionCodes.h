#pragma once
// Action codes of remote log lines, as the service receives them. Positive
// codes mark steps of a run; 0 and negative codes mark problems.

#include <string_view>

namespace online::action {

inline constexpr std::string_view kCarvedFileBounds = "0";
inline constexpr std::string_view kVersion = "1";
inline constexpr std::string_view kRegistration = "5";
inline constexpr std::string_view kNewsCheckboxOrReferrer = "6";
inline constexpr std::string_view kMaxImageHints = "7";
inline constexpr std::string_view kShowNewsOrNewsletterWarning = "8";
inline constexpr std::string_view kEmailInvalid = "9";
inline constexpr std::string_view kRegistrationComplete = "10";
inline constexpr std::string_view kDrivesAvailable = "20";
inline constexpr std::string_view kDriveSelected = "30";
inline constexpr std::string_view kFileTypesSelected = "35";
inline constexpr std::string_view kLowScan = "45";
inline constexpr std::string_view kFatScan = "46";
inline constexpr std::string_view kBootRecordRead = "47";
inline constexpr std::string_view kScansComplete = "50";
inline constexpr std::string_view kScansCompleteNothingFound = "55";
inline constexpr std::string_view kScansCancelled = "60";
inline constexpr std::string_view kSizeWarning = "81";
inline constexpr std::string_view kInternalBrowserOpened = "82";
inline constexpr std::string_view kInternalBrowserClosed = "83";
inline constexpr std::string_view kRecoveryScreen = "132";
inline constexpr std::string_view kSaveBegin = "135";
inline constexpr std::string_view kSaveProgress = "136";
inline constexpr std::string_view kNotOverwritten = "137";
inline constexpr std::string_view kNotEnoughSpace = "138";
inline constexpr std::string_view kDestinationIsSource = "139";
inline constexpr std::string_view kSaveDestination = "140";
inline constexpr std::string_view kDestinationNotLocal = "141";
inline constexpr std::string_view kQuitBeforeSave = "150";
inline constexpr std::string_view kNewTransaction = "155";
inline constexpr std::string_view kClosing = "160";
inline constexpr std::string_view kDestroying = "170";

inline constexpr std::string_view kMachineDetailsError = "-1";
inline constexpr std::string_view kNewsError = "-6";
inline constexpr std::string_view kLowScanReadError = "-10";
inline constexpr std::string_view kSectorsPerClusterMismatch = "-11";
inline constexpr std::string_view kLowScanMemoryError = "-20";
inline constexpr std::string_view kLowScanError = "-25";
inline constexpr std::string_view kError = "-30";
inline constexpr std::string_view kLastReadOrWriteError = "-31";
inline constexpr std::string_view kFileSizeIncorrect = "-32";
inline constexpr std::string_view kDriveComponentReset = "-34";
inline constexpr std::string_view kArtificialClusterIncrement = "-35";
inline constexpr std::string_view kNotifierStartError = "-40";
inline constexpr std::string_view kNotifierStopError = "-50";
inline constexpr std::string_view kPrivilegesOrMemory = "-60";
inline constexpr std::string_view kClusterBeyondDrive = "-80";
inline constexpr std::string_view kSaveError = "-88";
inline constexpr std::string_view kConsolidateError = "-89";
inline constexpr std::string_view kUnexpected = "-99";

}  // namespace online::action
