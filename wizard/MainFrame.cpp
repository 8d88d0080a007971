// The window's frame: header with its links, step strip, main area and button bar.

#include "wizard/Main.h"

#include "drives/SHChangeNotify.h"
#include "wizard/ResultTrees.h"
#include "wizard/ScanProgress.h"
#include "online/Browser.h"
#include "widgets/DialogHeader.h"
#include "widgets/GuiHelpers.h"
#include "widgets/LinkLabel.h"
#include "widgets/Pictures.h"

#include <QApplication>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace wizard {
namespace {

constexpr const char* kStepNames[5] = {"lbl_Registration", "lbl_Setup", "lbl_Analysis", "lbl_Recovery",
                                       "lbl_Feedback"};
constexpr const char* kStepCaptions[5] = {"Registration", "Setup", "Analysis", "Recovery", "Exit "};

}  // namespace

Tfrm_Main::Tfrm_Main(std::vector<std::string> arguments, QWidget* parent)
    : QWidget(parent), m_arguments(std::move(arguments)) {
  OpenInBrowser = [](std::string_view address) { return online::BrowseURL(address); };
  OpenFolder = [](std::string_view folder) { widgets::ExploreFolder(folder); };
  setObjectName(QStringLiteral("frm_Main"));
  setWindowTitle(QStringLiteral("Pelmora Trellmond"));
  setWindowIcon(widgets::ApplicationIcon());
  setMinimumSize(767, 600);
  resize(767, 600);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildHeader();
  BuildStepStrip();
  pnl_Main = new QWidget(this);
  pnl_Main->setObjectName(QStringLiteral("pnl_Main"));
  pnl_Main->setAutoFillBackground(true);
  pnl_Main->setStyleSheet(QStringLiteral("QWidget#pnl_Main { background: #e3e6eb; }"));
  BuildRegistrationPanel();
  BuildWorkPanels();
  BuildFeedbackPanel();
  BuildButtonBar();
  layout->addWidget(pnl_Header);
  layout->addWidget(pnl_Progress);
  layout->addWidget(pnl_Main, 1);
  layout->addWidget(pnl_Buttons);

  // Enter presses the forward button of the current panel.
  for (QKeySequence key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(key, this);
    connect(shortcut, &QShortcut::activated, this, &Tfrm_Main::pressForward);
  }

  ChooseImageFile = [this] {
    return QFileDialog::getOpenFileName(
               this, QStringLiteral("Attach disk image"), QString(),
               QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.E01 *.e01 *.001);;All files (*)"))
        .toStdString();
  };
  ChooseReportFile = [this](const std::string& suggested) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save a report"), QString::fromStdString(suggested),
                                        QStringLiteral("DFXML reports (*.xml);;All files (*)"))
        .toStdString();
  };
  ChangeNotifier = new drives::TSHChangeNotify(this);
  ChangeNotifier->OnDriveAdd = [this](QObject* sender, std::uint32_t flags, const std::string& path) {
    ChangeNotifierDriveAdd(sender, flags, path);
  };
  ChangeNotifier->OnMediaInserted = ChangeNotifier->OnDriveAdd;
  ChangeNotifier->OnDriveRemoved = [this](QObject* sender, std::uint32_t flags, const std::string& path) {
    ChangeNotifierDriveRemoved(sender, flags, path);
  };
  ChangeNotifier->OnMediaRemoved = ChangeNotifier->OnDriveRemoved;

  Session.SetRaw(&Raw);
  Session.SetPrompt(m_prompt);
  m_http.SetPrompt(m_prompt);
  m_http.OnTerminateRequest = [this] { EndApplication(); };
  m_http.OnBusy = [](bool busy) {
    if (busy) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
      QApplication::restoreOverrideCursor();
    }
  };
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void Tfrm_Main::SetPrompt(util::IPrompt* prompt) {
  m_prompt = prompt != nullptr ? prompt : &m_qtPrompt;
  m_http.SetPrompt(m_prompt);
  m_trees->SetPrompt(m_prompt);
  Session.SetPrompt(m_prompt);
}

void Tfrm_Main::BuildHeader() {
  auto* header = new widgets::THeaderStrip(QStringLiteral("Trellmond"), 16, this);
  pnl_Header = header;
  header->setObjectName(QStringLiteral("pnl_Header"));
  header->setFixedHeight(75);
  auto* row = new QHBoxLayout(header);
  row->setContentsMargins(0, 4, 16, 4);
  row->addStretch(1);
  auto* links = new QVBoxLayout;
  links->setSpacing(0);
  auto addLink = [&](const char* name, const QString& text, const QColor& colour, void (Tfrm_Main::*handler)()) {
    auto* link = new widgets::TLinkLabel(text, header);
    link->setObjectName(QString::fromLatin1(name));
    widgets::MakeHeaderLink(*link, colour);
    link->setAlignment(Qt::AlignRight);
    links->addWidget(link);
    connect(link, &widgets::TLinkLabel::clicked, this, handler);
    return link;
  };
  lbl_ProxySettings = addLink("lbl_ProxySettings", QStringLiteral("Proxy Settings"), QColor(0xff, 0x70, 0x62),
                              &Tfrm_Main::pb_ProxySettingsClick);
  // Red reads poorly on the blue header unless it is bold.
  QFont bold = lbl_ProxySettings->font();
  bold.setBold(true);
  lbl_ProxySettings->setFont(bold);
  lbl_About = addLink("lbl_About", QStringLiteral("About"), Qt::white, &Tfrm_Main::pb_AboutClick);
  lbl_Support = addLink("lbl_Support", QStringLiteral("Contact Support"), Qt::white, &Tfrm_Main::pb_SupportClick);
  lbl_Help = addLink("lbl_Help", QStringLiteral("Help"), Qt::white, &Tfrm_Main::pb_HelpClick);
  row->addLayout(links);
}

void Tfrm_Main::BuildStepStrip() {
  pnl_Progress = new QWidget(this);
  pnl_Progress->setObjectName(QStringLiteral("pnl_Progress"));
  pnl_Progress->setFixedHeight(25);
  pnl_Progress->setAutoFillBackground(true);
  pnl_Progress->setStyleSheet(
      QStringLiteral("QWidget#pnl_Progress { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, "
                     "stop:1 #e9eef6); border-bottom: 1px solid #c3cedf; }"));
  QFont bold = font();
  bold.setBold(true);
  for (int i = 0; i < 5; ++i) {
    // Each step is its label and the separator glyph after it, spread as one piece.
    auto* step = new QWidget(pnl_Progress);
    auto* row = new QHBoxLayout(step);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_stepLabels[i] = new QLabel(QString::fromLatin1(kStepCaptions[i]), step);
    m_stepLabels[i]->setObjectName(QString::fromLatin1(kStepNames[i]));
    m_stepLabels[i]->setFont(bold);
    row->addWidget(m_stepLabels[i]);
    m_stepSeparators[i] = new QLabel(QStringLiteral("\u203A"), step);
    m_stepSeparators[i]->setFont(bold);
    m_stepSeparators[i]->setVisible(i < 4);
    row->addWidget(m_stepSeparators[i]);
    const QColor colour = i == 0 ? QColor(Qt::black) : QColor(Qt::gray);
    m_stepLabels[i]->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
    m_stepSeparators[i]->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
    step->adjustSize();
    step->move(0, (25 - step->height()) / 2);
  }
}

QPushButton* Tfrm_Main::AddSlotButton(QWidget* slot, const char* name, const QString& caption,
                                      void (Tfrm_Main::*handler)()) {
  auto* button = new QPushButton(caption, slot);
  button->setObjectName(QString::fromLatin1(name));
  button->setMinimumWidth(100);
  button->setVisible(false);
  slot->layout()->addWidget(button);
  if (handler != nullptr) connect(button, &QPushButton::clicked, this, handler);
  return button;
}

void Tfrm_Main::BuildButtonBar() {
  pnl_Buttons = new QWidget(this);
  pnl_Buttons->setObjectName(QStringLiteral("pnl_Buttons"));
  pnl_Buttons->setFixedHeight(36);
  auto* row = new QHBoxLayout(pnl_Buttons);
  row->setContentsMargins(8, 4, 8, 4);
  pb_Quit = new QPushButton(QStringLiteral("Quit"), pnl_Buttons);
  pb_Quit->setObjectName(QStringLiteral("pb_Quit"));
  pb_Quit->setMinimumWidth(100);
  pb_Quit->setAutoDefault(false);
  connect(pb_Quit, &QPushButton::clicked, this, &Tfrm_Main::pb_QuitClick);
  row->addWidget(pb_Quit);
  row->addStretch(1);

  auto* navigation = new QWidget(pnl_Buttons);
  navigation->setObjectName(QStringLiteral("pnl_Navigation"));
  auto* slotRow = new QHBoxLayout(navigation);
  slotRow->setContentsMargins(0, 0, 0, 0);
  m_backSlot = new QWidget(navigation);
  m_forwardSlot = new QWidget(navigation);
  for (QWidget* slot : {m_backSlot, m_forwardSlot}) {
    auto* slotLayout = new QHBoxLayout(slot);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    slotRow->addWidget(slot);
  }
  m_backBlank = AddSlotButton(m_backSlot, "pb_BackBlank", {}, nullptr);
  m_backBlank->setEnabled(false);
  // Holds the back button's place without looking like a button nobody can press.
  m_backBlank->setFlat(true);
  m_backBlank->setFocusPolicy(Qt::NoFocus);
  m_backBlank->setVisible(true);
  pb_SetupBack = AddSlotButton(m_backSlot, "pb_SetupBack", QStringLiteral("<< Setup"), &Tfrm_Main::pb_SetupBackClick);
  pb_StartAgain =
      AddSlotButton(m_backSlot, "pb_StartAgain", QStringLiteral("Start Again "), &Tfrm_Main::pb_StartAgainClick);
  pb_AnalysisBack =
      AddSlotButton(m_backSlot, "pb_AnalysisBack", QStringLiteral("<< Analysis"), &Tfrm_Main::pb_AnalysisBackClick);
  pb_Setup = AddSlotButton(m_forwardSlot, "pb_Setup", QStringLiteral("Next >>"), &Tfrm_Main::pb_SetupClick);
  pb_Analyse = AddSlotButton(m_forwardSlot, "pb_Analyse", QStringLiteral("Analyse >>"), &Tfrm_Main::pb_AnalyseClick);
  pb_ToRecovery =
      AddSlotButton(m_forwardSlot, "pb_ToRecovery", QStringLiteral("Recover >>"), &Tfrm_Main::pb_ToRecoveryClick);
  pb_Feedback = AddSlotButton(m_forwardSlot, "pb_Feedback", QStringLiteral("Recover >>"), &Tfrm_Main::pb_FeedbackClick);
  pb_SaveExit = AddSlotButton(m_forwardSlot, "pb_SaveExit", QStringLiteral("Exit"), &Tfrm_Main::pb_SaveExitClick);
  for (QPushButton* forward : {pb_Setup, pb_Analyse, pb_ToRecovery, pb_Feedback, pb_SaveExit}) {
    forward->setDefault(true);
  }
  row->addWidget(navigation);
  row->addStretch(1);
  // As wide as Quit, so the navigation group sits in the true centre.
  row->addSpacing(100);
}

}  // namespace wizard
