// The Setup panel's controls: the drive list, the Undelete and Low Level groups.

#include "wizard/Main.h"

#include "drives/ZubDrvListBox.h"
#include "widgets/LinkLabel.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStyle>
#include <QVBoxLayout>

namespace wizard {
namespace {

constexpr const char* kTeal = "QLabel { color: teal; } QLabel:disabled { color: #7f9c9c; }";

QLabel* TealText(const QString& text, QWidget* parent, const char* name = nullptr) {
  auto* label = new QLabel(text, parent);
  if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
  label->setStyleSheet(QString::fromLatin1(kTeal));
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

widgets::TLinkLabel* HelpIcon(QWidget* parent, const char* name) {
  auto* icon = new widgets::TLinkLabel(QString(), parent);
  icon->setObjectName(QString::fromLatin1(name));
  icon->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(18, 18));
  icon->setToolTip(QStringLiteral("Help"));
  return icon;
}

QPushButton* Button(const QString& caption, QWidget* parent, const char* name) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

// "Search for:" with the teal summary of the scan's file types.
QLabel* AddSearchSummary(QVBoxLayout& layout, QGroupBox& group, const char* name) {
  auto* search = new QHBoxLayout;
  search->addWidget(new QLabel(QStringLiteral("Search for:"), &group), 0, Qt::AlignTop);
  QLabel* summary = TealText(QStringLiteral("..."), &group, name);
  search->addWidget(summary, 1);
  layout.addLayout(search);
  return summary;
}

// "When should you use this option?" with its teal answer, and the scan's "Options..." at the bottom.
QPushButton* AddAdviceAndOptions(QVBoxLayout& layout, QGroupBox& group, const QString& advice,
                                 const char* adviceName, const char* optionsName) {
  layout.addWidget(new QLabel(QStringLiteral("When should you use this option?"), &group));
  layout.addWidget(TealText(advice, &group, adviceName));
  layout.addStretch(1);
  QPushButton* options = Button(QStringLiteral("Options..."), &group, optionsName);
  layout.addWidget(options, 0, Qt::AlignRight);
  return options;
}

}  // namespace

QGroupBox* Tfrm_Main::BuildDrivesGroup() {
  auto* group = new QGroupBox(QStringLiteral("Drives:"), pnl_Setup);
  group->setObjectName(QStringLiteral("grp_Drives"));
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(8, 6, 8, 6);
  Drives = new drives::TZubDrvListBox(group);
  Drives->setObjectName(QStringLiteral("Drives"));
  Drives->SetItemHeight(25);
  Drives->SetSizeLeft(225);
  Drives->SetDisplay(drives::dsNameSize);
  Drives->OnChange = [this](QObject*) { DrivesChange(); };
  // Five rows without scrolling: a card reader's slots and a disk or two.
  Drives->setFixedHeight(5 * 25 + 2 * Drives->frameWidth());
  grid->addWidget(Drives, 0, 0, 4, 1);

  pb_Update = Button(QStringLiteral("Refresh"), group, "pb_Update");
  pb_Update->setToolTip(QStringLiteral(
      "Click this button to refresh the Drive list. | If you are unable to see your drive or have not yet connected "
      "it to your computer then please attach it now and then click on this button."));
  connect(pb_Update, &QPushButton::clicked, this, &Tfrm_Main::pb_UpdateClick);
  pb_AttachImage = Button(QStringLiteral("Attach disk image..."), group, "pb_AttachImage");
  pb_AttachImage->setToolTip(QStringLiteral("Scan a disk image file (.img, .dd, .raw, .bin) as if it were a card."));
  connect(pb_AttachImage, &QPushButton::clicked, this, &Tfrm_Main::pb_AttachImageClick);
  pb_MakeImage = Button(QStringLiteral("Make an &image first..."), group, "pb_MakeImage");
  pb_MakeImage->setToolTip(QStringLiteral(
      "Copy the chosen drive into an image file on another drive, carefully, and scan the copy: a failing card or "
      "disk loses more with every pass over it."));
  pb_MakeImage->setEnabled(false);
  connect(pb_MakeImage, &QPushButton::clicked, this, &Tfrm_Main::pb_MakeImageClick);
  grid->addWidget(pb_Update, 0, 1);
  grid->addWidget(pb_AttachImage, 1, 1);
  grid->addWidget(pb_MakeImage, 2, 1, Qt::AlignTop);

  auto* helpRow = new QHBoxLayout;
  lbl_SetupHelp = new QLabel(QStringLiteral("Can't find your camera?"), group);
  lbl_SetupHelp->setObjectName(QStringLiteral("lbl_SetupHelp"));
  Image5 = HelpIcon(group, "Image5");
  connect(Image5, &widgets::TLinkLabel::clicked, this, &Tfrm_Main::Image5Click);
  helpRow->addWidget(lbl_SetupHelp);
  helpRow->addWidget(Image5);
  helpRow->addStretch(1);
  grid->addLayout(helpRow, 3, 1, Qt::AlignBottom);
  grid->setRowStretch(2, 1);
  grid->setColumnStretch(0, 1);
  return group;
}

QGroupBox* Tfrm_Main::BuildUndeleteGroup() {
  grp_Undelete = new QGroupBox(pnl_Setup);
  grp_Undelete->setObjectName(QStringLiteral("grp_Undelete"));
  auto* layout = new QVBoxLayout(grp_Undelete);
  layout->setContentsMargins(8, 6, 8, 8);
  cx_FAT = new QCheckBox(QStringLiteral("Undelete"), grp_Undelete);
  cx_FAT->setObjectName(QStringLiteral("cx_FAT"));
  cx_FAT->setChecked(true);
  QFont bold = cx_FAT->font();
  bold.setBold(true);
  cx_FAT->setFont(bold);
  connect(cx_FAT, &QCheckBox::toggled, this, [this] { DrivesChange(); });
  layout->addWidget(cx_FAT);

  lbl_FATSearch = AddSearchSummary(*layout, *grp_Undelete, "lbl_FATSearch");
  lbl_DeletedOnly = TealText(QStringLiteral("Find only deleted files."), grp_Undelete, "lbl_DeletedOnly");
  lbl_DeletedOnly->setVisible(false);
  layout->addWidget(lbl_DeletedOnly);

  pb_FATFileSelection = AddAdviceAndOptions(
      *layout, *grp_Undelete,
      QStringLiteral("The Undelete Scan is ideal for those times when you have accidentally deleted a file or "
                     "directory but the drive is still Ok. On large drives this can result in a large number of "
                     "files so it helps to select specific file types using \"Options...\""),
      "lbl_FATHelp", "pb_FATFileSelection");
  connect(pb_FATFileSelection, &QPushButton::clicked, this, &Tfrm_Main::pb_FATFileSelectionClick);
  cx_ShowImages = new QCheckBox(QStringLiteral("Show Images"), grp_Undelete);
  cx_ShowImages->setObjectName(QStringLiteral("cx_ShowImages"));
  cx_ShowImages->setChecked(true);
  cx_ShowImages->setVisible(false);
  connect(cx_ShowImages, &QCheckBox::clicked, this, &Tfrm_Main::cx_ShowImagesClick);
  return grp_Undelete;
}

QGroupBox* Tfrm_Main::BuildLowLevelGroup() {
  grp_LowLevel = new QGroupBox(pnl_Setup);
  grp_LowLevel->setObjectName(QStringLiteral("grp_LowLevel"));
  auto* layout = new QVBoxLayout(grp_LowLevel);
  layout->setContentsMargins(8, 6, 8, 8);
  cx_Low = new QCheckBox(QStringLiteral("Low Level Scan"), grp_LowLevel);
  cx_Low->setObjectName(QStringLiteral("cx_Low"));
  QFont bold = cx_Low->font();
  bold.setBold(true);
  cx_Low->setFont(bold);
  connect(cx_Low, &QCheckBox::toggled, this, &Tfrm_Main::cx_LowClick);
  layout->addWidget(cx_Low);

  auto* quick = new QHBoxLayout;
  cx_UseClusterBoundaries = new QCheckBox(QStringLiteral("Perform quick scan?"), grp_LowLevel);
  cx_UseClusterBoundaries->setObjectName(QStringLiteral("cx_UseClusterBoundaries"));
  cx_UseClusterBoundaries->setChecked(true);
  connect(cx_UseClusterBoundaries, &QCheckBox::toggled, this, &Tfrm_Main::cx_UseClusterBoundariesClick);
  Image9 = HelpIcon(grp_LowLevel, "Image9");
  connect(Image9, &widgets::TLinkLabel::clicked, this, &Tfrm_Main::Image9Click);
  quick->addWidget(cx_UseClusterBoundaries);
  quick->addWidget(Image9);
  quick->addStretch(1);
  layout->addLayout(quick);

  lbl_LowSearch = AddSearchSummary(*layout, *grp_LowLevel, "lbl_LowSearch");
  pb_LowFileSelection = AddAdviceAndOptions(
      *layout, *grp_LowLevel,
      QStringLiteral("The Low Level Scan is ideal for when the drive has been formatted or corrupted, and as a "
                     "\"last resort\".  It is very low-level and on large drives can take a long time so it helps "
                     "to select specific file types using \"Options...\""),
      "lbl_LowHelp", "pb_LowFileSelection");
  connect(pb_LowFileSelection, &QPushButton::clicked, this, &Tfrm_Main::pb_LowFileSelectionClick);
  return grp_LowLevel;
}

void Tfrm_Main::BuildSetupPanel() {
  auto* layout = new QVBoxLayout(pnl_Setup);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(BuildDrivesGroup(), 0);
  auto* scans = new QHBoxLayout;
  scans->addWidget(BuildUndeleteGroup(), 1);
  scans->addWidget(BuildLowLevelGroup(), 1);
  layout->addLayout(scans, 1);
}

}  // namespace wizard
