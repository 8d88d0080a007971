// The five panels inside the main area.

#include "wizard/Main.h"

#include "drives/ZubDrvListBox.h"
#include "online/ServiceAddress.h"
#include "online/StartupChecks.h"
#include "widgets/GuiHelpers.h"
#include "widgets/LinkLabel.h"
#include "widgets/MekFlashingLabel.h"
#include "widgets/PageView.h"
#include "widgets/Pictures.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace wizard {
namespace {

// Larger than the panel was first drawn (593 x 425) so the type summaries and the
// help texts fit in today's desktop fonts; still inside a 1024 x 768 screen.
constexpr int kSetupWidth = 680;
constexpr int kSetupHeight = 540;

QWidget* MakePanel(QWidget* parent, const char* name, int width, int height) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(QString::fromLatin1(name));
  panel->setAttribute(Qt::WA_StyledBackground);
  panel->setStyleSheet(QStringLiteral("QWidget#%1 { background: #f7f8fa; border: 1px solid #b9c4d6; border-radius: 4px; }")
                           .arg(QString::fromLatin1(name)));
  if (width > 0) panel->setFixedSize(width, height);
  panel->setVisible(false);
  return panel;
}

QLabel* OptionalMark(QWidget* parent) {
  auto* mark = new QLabel(QStringLiteral("[Optional]"), parent);
  mark->setStyleSheet(QStringLiteral("color: #c0261b;"));
  return mark;
}

}  // namespace

void Tfrm_Main::BuildRegistrationPanel() {
  pnl_Registration = MakePanel(pnl_Main, "pnl_Registration", 601, 422);
  auto* layout = new QVBoxLayout(pnl_Registration);
  layout->setContentsMargins(8, 8, 8, 8);

  // The news area, with a picture behind it that shows when the news is hidden.
  auto* newsHolder = new QWidget(pnl_Registration);
  newsHolder->setFixedHeight(218);
  auto* picture = new QLabel(newsHolder);
  picture->setObjectName(QStringLiteral("img_News"));
  picture->setPixmap(widgets::MainPicture(200));
  picture->setAlignment(Qt::AlignCenter);
  pnl_Web = new QWidget(newsHolder);
  pnl_Web->setObjectName(QStringLiteral("pnl_Web"));
  auto* webLayout = new QVBoxLayout(pnl_Web);
  webLayout->setContentsMargins(0, 0, 0, 0);
  WebBrowser = new widgets::TPageView(pnl_Web);
  WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
  WebBrowser->SetHTTP(&m_http);
  WebBrowser->OpenOutside = [this](std::string_view address) { return OpenInBrowser(address); };
  webLayout->addWidget(WebBrowser);
  auto* stack = new QGridLayout(newsHolder);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->addWidget(picture, 0, 0);
  stack->addWidget(pnl_Web, 0, 0);
  layout->addWidget(newsHolder);

  auto* group = new QGroupBox(pnl_Registration);
  group->setObjectName(QStringLiteral("grp_Details"));
  auto* grid = new QGridLayout(group);
  auto* note = new QLabel(QStringLiteral("The information below is not required to use Trellmond. It's recommended you "
                                         "enter a name even if you do not wish to receive our free newsletter. Doing "
                                         "so helps us locate your recovery log faster, providing you with better "
                                         "support should you need it."),
                          group);
  note->setObjectName(QStringLiteral("mem_Note"));
  note->setWordWrap(true);
  grid->addWidget(note, 0, 0, 1, 3);
  auto addField = [&](int row, const QString& caption, const char* name, int maxLength) {
    grid->addWidget(new QLabel(caption, group), row, 0);
    auto* field = new QLineEdit(group);
    field->setObjectName(QString::fromLatin1(name));
    field->setMaxLength(maxLength);
    grid->addWidget(field, row, 1);
    grid->addWidget(OptionalMark(group), row, 2);
    return field;
  };
  df_FirstName = addField(1, QStringLiteral("First Name:"), "df_FirstName", 30);
  df_LastName = addField(2, QStringLiteral("Last Name:"), "df_LastName", 30);
  df_EmailAddress = addField(3, QStringLiteral("Email Address:"), "df_EmailAddress", 128);
  cx_News = new QCheckBox(QStringLiteral("I'd like to receive your free PC Tips && Tricks newsletter:"), group);
  cx_News->setObjectName(QStringLiteral("cx_News"));
  cx_News->setLayoutDirection(Qt::RightToLeft);
  cx_News->setChecked(true);
  // Every change, by the user or by the program, goes to the remote log.
  connect(cx_News, &QCheckBox::toggled, this,
          [this](bool ticked) { online::LogNewsCheckbox(m_http, m_state.TransactionID, ticked); });
  grid->addWidget(cx_News, 4, 0, 1, 3, Qt::AlignLeft);
  grid->setColumnStretch(1, 1);
  layout->addWidget(group, 1);
}

void Tfrm_Main::BuildWorkPanels() {
  pnl_Setup = MakePanel(pnl_Main, "pnl_Setup", kSetupWidth, kSetupHeight);
  BuildSetupPanel();
  // As large as the Setup panel, so that the folder tree shows a few levels.
  pnl_Recovery = MakePanel(pnl_Main, "pnl_Recovery", kSetupWidth, kSetupHeight);
  BuildRecoveryPanel();
  pnl_Analysis = MakePanel(pnl_Main, "pnl_Analysis", 0, 0);
  widgets::SetAlignedToEdge(*pnl_Analysis, true);

  // The side column: the file-type table above, the drives available for saving below.
  pnl_AnalysisSide = new QWidget(pnl_Analysis);
  pnl_AnalysisSide->setObjectName(QStringLiteral("pnl_AnalysisSide"));
  pnl_FileTypes = new QWidget(pnl_AnalysisSide);
  pnl_FileTypes->setObjectName(QStringLiteral("pnl_FileTypes"));
  pnl_SaveDrives = new QWidget(pnl_AnalysisSide);
  pnl_SaveDrives->setObjectName(QStringLiteral("pnl_SaveDrives"));
  auto* saveLayout = new QVBoxLayout(pnl_SaveDrives);
  saveLayout->setContentsMargins(0, 0, 0, 0);
  saveLayout->addWidget(new QLabel(QStringLiteral("Drives available for saving files:"), pnl_SaveDrives));
  auto* note = new QLabel(QStringLiteral("Note: The scanned drive cannot be used."), pnl_SaveDrives);
  note->setStyleSheet(QStringLiteral("color: teal;"));
  saveLayout->addWidget(note);
  Drives_Available = new drives::TZubDrvListBox(pnl_SaveDrives);
  Drives_Available->setObjectName(QStringLiteral("Drives_Available"));
  Drives_Available->SetItemHeight(18);
  Drives_Available->SetSizeLeft(100);
  Drives_Available->SetDriveType(drives::dtSavable);
  // Display only: the destination is chosen on the Recovery panel.
  Drives_Available->setSelectionMode(QAbstractItemView::NoSelection);
  Drives_Available->setFocusPolicy(Qt::NoFocus);
  saveLayout->addWidget(Drives_Available, 1);
  lbl_Summary = new widgets::TMekFlashingLabel(pnl_Analysis);
  lbl_Summary->setObjectName(QStringLiteral("lbl_Summary"));
  lbl_Summary->setVisible(false);
  pb_Stop = new QPushButton(QStringLiteral("Stop"), pnl_Analysis);
  pb_Stop->setObjectName(QStringLiteral("pb_Stop"));
  pb_Stop->setVisible(false);
  connect(pb_Stop, &QPushButton::clicked, this, &Tfrm_Main::pb_CancelClick);
  BuildAnalysisPanel();
}

void Tfrm_Main::BuildFeedbackPanel() {
  pnl_Feedback = MakePanel(pnl_Main, "pnl_Feedback", 585, 424);
  auto* layout = new QVBoxLayout(pnl_Feedback);
  layout->setContentsMargins(40, 60, 40, 40);
  auto* thanks = new QLabel(QStringLiteral("Thank you for choosing Trellmond for your file recovery. If you have any "
                                           "suggestions or comments, please email us at: "),
                            pnl_Feedback);
  thanks->setObjectName(QStringLiteral("lbl_Thanks"));
  QFont large = thanks->font();
  large.setPointSize(16);
  thanks->setFont(large);
  thanks->setWordWrap(true);
  layout->addWidget(thanks);
  auto* mail = new widgets::TLinkLabel(QString::fromLatin1(online::kSupportEmail.data(),
                                                           static_cast<qsizetype>(online::kSupportEmail.size())),
                                       pnl_Feedback);
  mail->setObjectName(QStringLiteral("Label20"));
  mail->setStyleSheet(QStringLiteral("color: navy; text-decoration: underline;"));
  QFont mailFont = mail->font();
  mailFont.setPointSize(14);
  mail->setFont(mailFont);
  connect(mail, &widgets::TLinkLabel::clicked, this, &Tfrm_Main::pb_SupportClick);
  layout->addWidget(mail);
  layout->addStretch(1);
  // Where the files went, as the user's file manager shows it, and a way there.
  lbl_SavedTo = new QLabel(pnl_Feedback);
  lbl_SavedTo->setObjectName(QStringLiteral("lbl_SavedTo"));
  lbl_SavedTo->setWordWrap(true);
  lbl_SavedTo->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(lbl_SavedTo);
  pb_OpenFolder = new QPushButton(QStringLiteral("Open folder"), pnl_Feedback);
  pb_OpenFolder->setObjectName(QStringLiteral("pb_OpenFolder"));
  pb_OpenFolder->setAutoDefault(false);
  connect(pb_OpenFolder, &QPushButton::clicked, this, &Tfrm_Main::pb_OpenFolderClick);
  layout->addWidget(pb_OpenFolder, 0, Qt::AlignLeft);
  layout->addSpacing(12);
  cx_OpenRecovered = new QCheckBox(QStringLiteral("Open folder with the recovered files"), pnl_Feedback);
  cx_OpenRecovered->setObjectName(QStringLiteral("cx_OpenRecovered"));
  cx_OpenRecovered->setChecked(true);
  layout->addWidget(cx_OpenRecovered);
}

}  // namespace wizard
