#pragma once
// Tfrm_Main: the wizard's one window. It owns the HTTP client, the scanners
// and their drive access components, leads the user from the Registration
// panel through Setup, Analysis and Recovery to the last panel, and runs the
// whole start-up (splash, connection check, loading) in FormCreate before
// the main loop starts. Everything runs on the GUI thread.

#include "disk/RawDiskAccessComponent.h"
#include "fsscan/MekFATScan.h"
#include "lowscan/CarvedTwins.h"
#include "lowscan/MekLowScan.h"
#include "session/ScanSession.h"
#include "online/Addresses.h"
#include "online/HttpClient.h"
#include "online/MekCookie.h"
#include "platform/Companion.h"
#include "platform/Settings.h"
#include "util/Types.h"
#include "widgets/QtPrompt.h"
#include "wizard/ExceptionFilter.h"
#include "wizard/WizardState.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QProgressBar;
class QTimer;

namespace drives {
class TZubDrvListBox;
class TSHChangeNotify;
}  // namespace drives

namespace filetypes {
class Tfrm_FileTypeSelection;
}  // namespace filetypes

namespace widgets {
class TLinkLabel;
class TMekFlashingLabel;
class TPageView;
}  // namespace widgets

namespace wizard {

class Tfrm_Main : public QWidget {
  Q_OBJECT
 public:
  // `arguments` without the program name.
  explicit Tfrm_Main(std::vector<std::string> arguments, QWidget* parent = nullptr);
  ~Tfrm_Main() override;

  // The start-up; afterwards EndRequested() says whether the program is to end instead of showing the window.
  void FormCreate();
  bool EndRequested() const { return m_endRequested; }

  // Message boxes and questions; the window's own Qt prompt unless replaced (tests).
  void SetPrompt(util::IPrompt* prompt);
  util::IPrompt& Prompt() { return *m_prompt; }
  // The image file to attach as a drive; empty when the user cancels. A file dialog unless replaced (tests).
  std::function<std::string()> ChooseImageFile;
  // Where an image of a drive goes (a POSIX file path); empty when the user cancels. A save
  // dialog unless replaced (tests). The argument is a suggested file name.
  std::function<std::string(const std::string&)> ChooseImagePlace;
  // Where to write the report, offered `suggested`; empty when the user cancels. A file dialog unless replaced (tests).
  std::function<std::string(const std::string& suggested)> ChooseReportFile;
  // Opening an address in the user's browser and a folder in the file manager.
  std::function<bool(std::string_view)> OpenInBrowser;
  std::function<void(std::string_view)> OpenFolder;

  WizardState& State() { return m_state; }
  const std::string& TransactionID() const { return m_state.TransactionID; }
  const online::ServiceAddresses& Addresses() const { return m_addresses; }
  online::THttpClient& HTTP() { return m_http; }

  // Part of every panel move; public so the later panels' code and tests can reach them.
  void PrepareRegistrationPanel();
  void PrepareSetupPanel();
  void PrepareAnalysePanel(bool bScan);
  void PrepareRecoveryPanel();
  void PrepareFeedbackPanel();
  void CancelScan();

  // The Setup panel's judgement of the selected drive and its refresh (MainSetup.cpp).
  void DrivesChange();
  int LogAvailableDrives();
  void pb_UpdateClick();
  std::int64_t GetDriveSizeMB() const { return DriveSizeMB; }

  // The scan run (MainScan.cpp) and the totals (MainTotals.cpp).
  void DoScan();
  static bool ConflictExists(const std::vector<std::string>& list, const std::string& marker);
  void UpdateClickStatus(bool bShowWarning);
  std::int64_t GetRequiredSaveSpace() const;
  std::int64_t GetMaxFreeDrive(const std::string& sExclude, std::string& sMaxDrive, std::int64_t& iTotalFree) const;
  bool Scanning() const;
  // Free physical memory for the memory watch; the system's figure unless replaced (tests).
  std::function<std::int64_t()> FreeRAM;
  std::int32_t GetFileCount() const { return FileCount; }
  // Files ticked and not yet saved, as both scanners count them.
  std::int64_t SelectedFiles() const { return FATScan.GetSelectedNumber() + LowScan.GetSelectedNumber(); }
  class ResultTrees* Trees() const { return m_trees; }
  class TImagePreview* Preview() const { return pnl_Preview; }
  const util::TMediaInfo& GetScannedMedia() const { return ScannedMedia; }

 signals:
  // The program is to end once control is back in the main loop.
  void terminateRequested();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Building the window (MainFrame.cpp, MainPanelsBuild.cpp).
  void BuildHeader();
  void BuildStepStrip();
  void BuildButtonBar();
  void BuildRegistrationPanel();
  void BuildFeedbackPanel();
  void BuildWorkPanels();
  QPushButton* AddSlotButton(QWidget* slot, const char* name, const QString& caption, void (Tfrm_Main::*handler)());

  // Start-up (MainStartup.cpp).
  // Nothing answers at the default address: the installed service runs for this session.
  void StartSessionService();
  void CheckInternetConnection();
  void Preparation();
  void GetInitialData();
  void GetSetupData();
  void CheckVersion();
  void ObtainTransaction();
  void ShowNews();
  void BrowseApplicationUrl(const std::string& address);
  void ReadRegistrationRegistryEntries();
  void WriteRegistrationRegistryEntries();
  void pb_ProxySettingsClick();
  // The proxy dialog, then the connection test with its settings; true once connected.
  bool TryProxySettings();
  void RunLoading(const QString& message, std::function<void()> step);
  void EndApplication();
  void ProcessMessages();
  void WaitMs(int milliseconds);

  // Panel moves (MainPanels.cpp).
  enum class Panel { None, Registration, Setup, Analysis, Recovery, Feedback };
  void ShowPanel(Panel panel, bool visible);
  void UpdateBackSlot();
  void pb_SetupClick();
  void pb_AnalyseClick();
  void pb_SetupBackClick();
  void pb_AnalysisBackClick();
  void pb_OpenFolderClick();
  void pb_ToRecoveryClick();
  void pb_FeedbackClick();
  void pb_SaveExitClick();
  void pb_StartAgainClick();
  void pb_QuitClick();
  void pressForward();
  bool NewsletterCheckPasses();

  // The Setup panel (MainSetupBuild.cpp, MainSetup.cpp).
  void BuildSetupPanel();
  QGroupBox* BuildDrivesGroup();
  QGroupBox* BuildUndeleteGroup();
  QGroupBox* BuildLowLevelGroup();
  void pb_AttachImageClick();
  // Attaches an image file as the next free letter and selects it; false (the user told) when it cannot.
  bool AttachAndSelect(const std::string& path);
  // "Make an image first..." (MainImage.cpp): a rescue copy of the selected drive into an
  // image on another drive, made in the loading dialog, then attached and selected.
  void pb_MakeImageClick();
  bool CheckImagePlace(char letter, const std::string& path, std::uint64_t bytes);
  bool CopyIntoImage(char letter, const std::string& path);
  // After a scan run that could not read sectors of a drive (not an image): the count, and the offer.
  void OfferImageAfterReadErrors();
  void cx_LowClick();
  void cx_UseClusterBoundariesClick();
  void DefaultLowFileTypes();
  void pb_FATFileSelectionClick();
  void pb_LowFileSelectionClick();
  void NoteFileTypes(std::vector<std::string>& list, bool bFAT, QCheckBox* checkBox, QLabel* summary);
  void ChangeNotifierDriveAdd(QObject* sender, std::uint32_t flags, const std::string& path1);
  void ChangeNotifierDriveRemoved(QObject* sender, std::uint32_t flags, const std::string& path1);
  void ShowMediaNotice(const std::string& message);
  void RefreshSavingDrives();
  void StartChangeNotifier();
  void Image5Click();
  void Image9Click();
  bool AnalyseAllowed() const;
  void PrepareFileTypeDialog(filetypes::Tfrm_FileTypeSelection& dialog, std::uint8_t type, bool noDefaults,
                             const std::vector<std::string>& list);
  // The dialog shown for one scan; on OK the list takes the choice and its summary follows.
  void ChooseFileTypes(std::uint8_t type, std::vector<std::string>& list, QCheckBox* checkBox, QLabel* summary);

  // The Analysis panel (MainAnalysisBuild.cpp, MainScan.cpp).
  void BuildAnalysisPanel();
  QWidget* BuildStatusColumn(QWidget* parent);
  QWidget* BuildTreeBar(QWidget* parent);
  void BindScanners();
  void RecordScannedDrive();
  void ClearResults();
  void RunUndeleteScan();
  void RunLowLevelScan();
  // Where the Undelete scan's files and the live files begin, for the carved files that follow (MainTwins.cpp).
  void NoteUndeleteStarts();
  // A carved file that is one of those is marked and left unticked.
  void MarkCarvedTwin(const std::string& sID);
  void SendStatisticsRecord(const char* scanType, std::int64_t started, std::int64_t size, std::int64_t number,
                            const std::string& types, bool cancelled);
  void FinishScanRun(std::int64_t started);
  void ScanFileNotify(util::TScanType xSource, const std::string& sID, util::TMemoryStream* xImage,
                      const std::string& sFullName, const std::string& sExtension, util::TFileType xType,
                      std::int64_t iSize);
  void LowScanUpdateMessageNotify(const std::string& sMessage, bool bVisible);
  void LowScanLogNotify(const std::string& sMessage, const std::string& sAction);
  void Timer_MemoryTimer();
  void pb_CancelClick();
  void cx_SelectFilesClick();
  void cx_ShowImagesClick();
  void pb_FindClick();
  void pb_FindNextClick();

  // The Recovery panel (MainRecoveryBuild.cpp, MainRecovery.cpp).
  void BuildRecoveryPanel();
  void ShellTreeClick();
  void pb_ShellUpdateClick();
  void pb_NewFolderClick();
  // The output folder's text and, for a drive-letter path, its free space.
  void ShowOutputFolder(const std::string& path);
  // "Recovered files <date>" in the user's Pictures folder (else Documents, else home); made on save.
  std::string DefaultOutputFolder() const;
  // The output folder as the user's file manager shows it.
  std::string RealOutputFolder() const;
  std::int64_t FreeBytesOf(char letter);
  // The checks of "Recover >>" for the selected path P, in their order; false when one refused.
  bool DestinationAccepted(const std::string& P);
  bool ScannedMediumPresent();
  void SaveFiles();
  // The DFXML report of the scans and the save just made (MainReport.cpp).
  void SaveReport();
  void FilesSavedNotify(std::int64_t iSaved);

  // Links and closing (MainClose.cpp).
  void pb_HelpClick();
  void pb_SupportClick();
  void pb_AboutClick();
  bool FormCloseQuery();
  void FormClose();
  void FormDestroy();
  void ResizeAnalysisSide();

  std::vector<std::string> m_arguments;
  WizardState m_state;
  online::ServiceAddresses m_addresses;
  bool m_endRequested = false;
  bool m_addressGiven = false;
  std::unique_ptr<platform::SessionProcess> m_sessionService;

  online::THttpClient m_http;
  online::TMekCookie m_cookie;
  platform::SettingsStore m_store;
  widgets::QtPrompt m_qtPrompt{this};
  util::IPrompt* m_prompt = &m_qtPrompt;
  std::unique_ptr<TNewDialogFilter> m_filter;

  // The engine parts the window owns; the scan and save runs use them.
  disk::TRawDiskAccessComponent Raw;
  disk::TRawDiskAccessComponent Raw_General;
  session::TScanSession Session;
  fsscan::TMekFATScan& FATScan = Session.Undelete();
  lowscan::TMekLowScan& LowScan = Session.Low();

  std::int64_t DriveSizeMB = 0;
  util::TMediaInfo ScannedMedia;
  lowscan::TCarvedTwins m_twins;
  std::int32_t FileCount = 0;
  std::int64_t OutputFree = 0;
  std::unique_ptr<class ScanProgress> m_progress;
  QTimer* Timer_Memory = nullptr;
  drives::TSHChangeNotify* ChangeNotifier = nullptr;

  // Controls (named as the form names them).
  QWidget* pnl_Header = nullptr;
  widgets::TLinkLabel* lbl_ProxySettings = nullptr;
  widgets::TLinkLabel* lbl_About = nullptr;
  widgets::TLinkLabel* lbl_Support = nullptr;
  widgets::TLinkLabel* lbl_Help = nullptr;
  QWidget* pnl_Progress = nullptr;
  QLabel* m_stepLabels[5] = {};
  QLabel* m_stepSeparators[5] = {};
  QWidget* pnl_Main = nullptr;
  QWidget* pnl_Registration = nullptr;
  QWidget* pnl_Setup = nullptr;
  QWidget* pnl_Analysis = nullptr;
  QWidget* pnl_Recovery = nullptr;
  QWidget* pnl_Feedback = nullptr;
  widgets::TPageView* WebBrowser = nullptr;
  QWidget* pnl_Web = nullptr;
  QLineEdit* df_FirstName = nullptr;
  QLineEdit* df_LastName = nullptr;
  QLineEdit* df_EmailAddress = nullptr;
  QCheckBox* cx_News = nullptr;
  QCheckBox* cx_OpenRecovered = nullptr;
  drives::TZubDrvListBox* Drives = nullptr;
  drives::TZubDrvListBox* Drives_Available = nullptr;
  QPushButton* pb_Update = nullptr;
  QPushButton* pb_AttachImage = nullptr;
  QPushButton* pb_MakeImage = nullptr;
  QLabel* lbl_SetupHelp = nullptr;
  widgets::TLinkLabel* Image5 = nullptr;
  QGroupBox* grp_Undelete = nullptr;
  QCheckBox* cx_FAT = nullptr;
  QLabel* lbl_FATSearch = nullptr;
  QLabel* lbl_DeletedOnly = nullptr;
  QPushButton* pb_FATFileSelection = nullptr;
  QCheckBox* cx_ShowImages = nullptr;
  QGroupBox* grp_LowLevel = nullptr;
  QCheckBox* cx_Low = nullptr;
  QCheckBox* cx_UseClusterBoundaries = nullptr;
  widgets::TLinkLabel* Image9 = nullptr;
  QLabel* lbl_LowSearch = nullptr;
  QPushButton* pb_LowFileSelection = nullptr;
  class ResultTrees* m_trees = nullptr;
  class TImagePreview* pnl_Preview = nullptr;
  class TFileTypesTable* tbl_FileTypes = nullptr;
  QCheckBox* cx_SelectFiles = nullptr;
  QLineEdit* df_Search = nullptr;
  QPushButton* pb_FindFirst = nullptr;
  QPushButton* pb_FindNext = nullptr;
  QPushButton* pb_ExpandAll = nullptr;
  QPushButton* pb_CollapseAll = nullptr;
  QWidget* pnl_TreeArea = nullptr;
  QWidget* pnl_Status = nullptr;
  QLabel* lbl_Progress = nullptr;
  QProgressBar* Progress = nullptr;
  widgets::TMekFlashingLabel* lbl_Reading = nullptr;
  QLabel* lbl_Drive = nullptr;
  QLabel* lbl_DriveSize = nullptr;
  QLabel* lbl_FilesFound = nullptr;
  widgets::TMekFlashingLabel* lbl_ResultSelected = nullptr;
  widgets::TMekFlashingLabel* lbl_ResultRequired = nullptr;
  widgets::TMekFlashingLabel* lbl_ResultAvailable = nullptr;
  widgets::TLinkLabel* img_Warning = nullptr;
  QWidget* pnl_AnalysisSide = nullptr;
  QWidget* pnl_FileTypes = nullptr;
  QWidget* pnl_SaveDrives = nullptr;
  widgets::TMekFlashingLabel* lbl_Summary = nullptr;
  QPushButton* pb_Stop = nullptr;
  QLineEdit* df_OutputDirectory = nullptr;
  QLabel* lbl_RealFolder = nullptr;
  QPushButton* pb_ShellUpdate = nullptr;
  class TFolderTree* ShellTree = nullptr;
  QPushButton* pb_NewFolder = nullptr;
  QLabel* lbl_ScannedDrive = nullptr;
  QLabel* lbl_RecoveryFound = nullptr;
  QLabel* lbl_FilesSaved = nullptr;
  QLabel* lbl_RequiredSpace = nullptr;
  QLabel* lbl_AvailableSpace = nullptr;
  QWidget* pnl_Buttons = nullptr;
  QPushButton* pb_Quit = nullptr;
  QWidget* m_backSlot = nullptr;
  QWidget* m_forwardSlot = nullptr;
  QPushButton* m_backBlank = nullptr;
  QPushButton* pb_SetupBack = nullptr;
  QPushButton* pb_StartAgain = nullptr;
  QPushButton* pb_AnalysisBack = nullptr;
  QLabel* lbl_SavedTo = nullptr;
  QPushButton* pb_OpenFolder = nullptr;
  QPushButton* pb_Setup = nullptr;
  QPushButton* pb_Analyse = nullptr;
  QPushButton* pb_ToRecovery = nullptr;
  QPushButton* pb_Feedback = nullptr;
  QPushButton* pb_SaveExit = nullptr;
};

}  // namespace wizard
