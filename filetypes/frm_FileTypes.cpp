#include "filetypes/frm_FileTypes.h"

#include "filetypes/FileTypeList.h"
#include "online/Requests.h"
#include "util/Text.h"
#include "widgets/DialogHeader.h"
#include "widgets/ModalResults.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <charconv>

namespace filetypes {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string FieldOf(const QListWidgetItem& item, int n) { return util::GetField(item.text().toStdString(), n, ';'); }

// A number as the dialog reads one; text that is not a number counts as -1 (no category).
int ToNumber(const std::string& text, int otherwise) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} && end == text.data() + text.size() ? value : otherwise;
}

}  // namespace

Tfrm_FileTypeSelection::Tfrm_FileTypeSelection(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("frm_FileTypeSelection"));
  setWindowTitle(QStringLiteral("File Selection"));
  widgets::SetDialogBorder(*this);
  BuildControls();
}

QGroupBox* Tfrm_FileTypeSelection::MakeCategoryGroup(const QString& title, const char* name,
                                                     widgets::TMekCheckListBox*& list) {
  auto* group = new QGroupBox(title, this);
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(6, 4, 6, 6);
  list = new widgets::TMekCheckListBox(group);
  list->setObjectName(QString::fromLatin1(name));
  MakeThreeColumnCheckList(*list);
  list->setEnabled(false);
  layout->addWidget(list);
  return group;
}

void Tfrm_FileTypeSelection::BuildControls() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(14, 12, 14, 12);
  rb_Other = new QRadioButton(QStringLiteral("Find ALL file types"), this);
  rb_Other->setObjectName(QStringLiteral("rb_Other"));
  rb_FindSelected = new QRadioButton(QStringLiteral("Find selected file types"), this);
  rb_FindSelected->setObjectName(QStringLiteral("rb_FindSelected"));
  layout->addWidget(rb_Other);
  layout->addWidget(rb_FindSelected);
  auto* hint = new QLabel(
      QStringLiteral("Please select the file types that you wish to search for. Right-Click to Select All / None"), this);
  hint->setObjectName(QStringLiteral("lbl_Hint"));
  layout->addWidget(hint);
  // "&&" is how a caption shows one "&".
  layout->addWidget(MakeCategoryGroup(QStringLiteral("Image && Photo"), "clb_Image", clb_Image), 3);
  layout->addWidget(MakeCategoryGroup(QStringLiteral("Media && Music"), "clb_Media", clb_Media), 2);
  layout->addWidget(MakeCategoryGroup(QStringLiteral("Home && Business"), "clb_Business", clb_Business), 2);

  lbl_Extra1 = new QLabel(QStringLiteral("Additional File Types"), this);
  lbl_Extra1->setObjectName(QStringLiteral("lbl_Extra1"));
  lbl_Extra2 = new QLabel(
      QStringLiteral("(Please enter any addition file types with spaces between them. i.e. ppt doc vsd)"), this);
  lbl_Extra2->setObjectName(QStringLiteral("lbl_Extra2"));
  lbl_Extra2->setWordWrap(true);
  df_Extra = new QLineEdit(this);
  df_Extra->setObjectName(QStringLiteral("df_Extra"));
  layout->addWidget(lbl_Extra1);
  layout->addWidget(df_Extra);
  layout->addWidget(lbl_Extra2);

  cx_DeletedOnly = new QCheckBox(QStringLiteral("Find only those files marked for deletion"), this);
  cx_DeletedOnly->setObjectName(QStringLiteral("cx_DeletedOnly"));
  cx_DeletedOnly->setChecked(true);
  cx_DeletedOnly->setVisible(false);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  pb_Save = new QPushButton(QStringLiteral("OK"), this);
  pb_Save->setObjectName(QStringLiteral("pb_Save"));
  pb_Save->setDefault(true);
  pb_Cancel = new QPushButton(QStringLiteral("Cancel"), this);
  pb_Cancel->setObjectName(QStringLiteral("pb_Cancel"));
  pb_Cancel->setAutoDefault(false);
  buttons->addWidget(pb_Save);
  buttons->addWidget(pb_Cancel);
  layout->addLayout(buttons);
  connect(pb_Save, &QPushButton::clicked, this, [this] { done(widgets::kResultOk); });
  connect(pb_Cancel, &QPushButton::clicked, this, [this] { done(widgets::kResultQuit); });

  rb_Other->setChecked(true);
  connect(rb_Other, &QRadioButton::toggled, this, [this] { rb_FindSelectedClick(); });
  connect(rb_FindSelected, &QRadioButton::toggled, this, [this] { rb_FindSelectedClick(); });
  rb_FindSelectedClick();
  // Room for three columns of descriptions; still inside a 1024 x 768 screen.
  resize(960, 680);
}

widgets::TMekCheckListBox* Tfrm_FileTypeSelection::CategoryList(int category) const {
  switch (category) {
    case 0: return clb_Image;
    case 1: return clb_Media;
    case 2: return clb_Business;
    default: return nullptr;
  }
}

void Tfrm_FileTypeSelection::SetSelectionType(std::uint8_t type) {
  if (type == m_selectionType) return;
  m_selectionType = type;
  const bool undelete = type == 2;
  rb_Other->setText(undelete ? QStringLiteral("Find ALL file types")
                             : QStringLiteral("'Fast Scan' for JPG/JPEG and AVI files only"));
  lbl_Extra1->setVisible(undelete);
  lbl_Extra2->setVisible(undelete);
  df_Extra->setVisible(undelete);
  // Without the extra controls the business list takes the freed space.
  if (!undelete) clb_Business->setMinimumHeight(150);
  cx_DeletedOnly->setVisible(false);
  rb_FindSelectedClick();
}

void Tfrm_FileTypeSelection::PopulateFileTypeData(bool noDefaults, const std::string& edition) {
  PopulateFileTypes(*clb_Image, *clb_Media, *clb_Business, edition, noDefaults);
}

void Tfrm_FileTypeSelection::PopulateFileTypes(widgets::TMekCheckListBox& image, widgets::TMekCheckListBox& media,
                                               widgets::TMekCheckListBox& business, const std::string& edition,
                                               bool noDefaults) {
  std::string body;
  if (HTTP != nullptr) {
    const std::string request =
        online::FileOverviewRequest(edition, Language, m_selectionType == 2 ? "2" : "1");
    body = online::GetData(online::DispatchURL(request, *HTTP));
  }
  image.clear();
  media.clear();
  business.clear();
  widgets::TMekCheckListBox* lists[] = {&image, &media, &business};
  for (const std::string& line : online::SplitBodyLines(body)) {
    const std::string extension = util::GetField(line, 1, ';');
    const std::string description = util::GetField(line, 2, ';');
    const bool ticked = util::GetField(line, 3, ';') == "1" && m_selectionType == 1 && !noDefaults;
    const int category = ToNumber(util::GetField(line, 4, ';'), -1);
    const std::string key = util::GetField(line, 5, ';');
    if (category < 0 || category > 2) continue;
    QListWidgetItem* item = lists[category]->AddCheckItem(Q(extension + ";" + description + ";" + key));
    item->setToolTip(Q(extension + ": " + description));
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
}

bool Tfrm_FileTypeSelection::GetSelectedFileTypes(std::vector<std::string>* list) {
  if (list == nullptr) return true;
  list->clear();
  list->push_back(rb_Other->isChecked() ? "1" : "0");
  list->push_back(cx_DeletedOnly->isChecked() ? "1" : "0");
  list->push_back(df_Extra->text().toStdString());
  if (rb_Other->isChecked()) {
    if (m_selectionType == 1) {
      for (const char* fast : {"jpg;0", "avi;1", "jpeg;0"}) list->push_back(fast);
    }
    return true;
  }
  for (int category = 0; category < 3; ++category) {
    const widgets::TMekCheckListBox& clb = *CategoryList(category);
    for (int row = 0; row < clb.count(); ++row) {
      const QListWidgetItem& item = *clb.item(row);
      if (item.checkState() != Qt::Checked) continue;
      list->push_back(FieldOf(item, 1) + ";" + std::to_string(category) + ";" + FieldOf(item, 3));
    }
  }
  return true;
}

void Tfrm_FileTypeSelection::SetSelectedFileTypes(const std::vector<std::string>* list) {
  if (list == nullptr) return;
  if (!list->empty()) {
    const bool other = ToNumber(util::Trim((*list)[0]), 0) != 0;
    rb_Other->setChecked(other);
    rb_FindSelected->setChecked(!other);
  }
  if (list->size() >= 2 && m_selectionType == 2) cx_DeletedOnly->setChecked(ToNumber(util::Trim((*list)[1]), 0) != 0);
  if (list->size() >= 3 && m_selectionType == 2) df_Extra->setText(Q((*list)[2]));
  for (std::size_t i = 3; i < list->size(); ++i) {
    const std::string extension = util::GetField((*list)[i], 1, ';');
    // The low byte of the number, as the category is stored in one byte.
    const int category = ToNumber(util::GetField((*list)[i], 2, ';'), -1) & 0xFF;
    widgets::TMekCheckListBox* clb = CategoryList(category);
    if (clb == nullptr) continue;
    for (int row = 0; row < clb->count(); ++row) {
      if (FieldOf(*clb->item(row), 1) == extension) clb->item(row)->setCheckState(Qt::Checked);
    }
  }
  rb_FindSelectedClick();
}

void Tfrm_FileTypeSelection::rb_FindSelectedClick() {
  const bool selected = rb_FindSelected->isChecked();
  clb_Image->setEnabled(selected);
  clb_Media->setEnabled(selected);
  clb_Business->setEnabled(selected);
  df_Extra->setEnabled(selected && m_selectionType == 2);
}

}  // namespace filetypes
