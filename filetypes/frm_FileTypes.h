#pragma once
// Tfrm_FileTypeSelection: the modal "File Selection" dialog in which the user
// picks the file types of one scan from the service's overview, in three check
// lists by category, or the scan's option that needs no list. It writes the
// choice into a selection list the wizard keeps and reads it back next time.
// Created for one use by its caller; the wizard also uses it unshown to compute
// the Low Level Scan's default types.

#include "online/HttpClient.h"
#include "widgets/MekCheckListBox.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdint>
#include <string>
#include <vector>

class QGroupBox;

namespace filetypes {

class Tfrm_FileTypeSelection : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrm_FileTypeSelection(QWidget* owner = nullptr);

  // Set by the caller before use.
  std::string Language = "ENG";
  online::THttpClient* HTTP = nullptr;
  std::string TransactionID;

  std::uint8_t SelectionType() const { return m_selectionType; }
  // 1 Low Level Scan, 2 Undelete scan.
  void SetSelectionType(std::uint8_t type);
  void PopulateFileTypeData(bool noDefaults, const std::string& edition);
  void PopulateFileTypes(widgets::TMekCheckListBox& image, widgets::TMekCheckListBox& media,
                         widgets::TMekCheckListBox& business, const std::string& edition, bool noDefaults);
  // Fills the list from the dialog's controls; true.
  bool GetSelectedFileTypes(std::vector<std::string>* list);
  void SetSelectedFileTypes(const std::vector<std::string>* list);
  void rb_FindSelectedClick();

  // The three lists in category order (0 image, 1 media, 2 business).
  widgets::TMekCheckListBox* CategoryList(int category) const;

 private:
  void BuildControls();
  QGroupBox* MakeCategoryGroup(const QString& title, const char* name, widgets::TMekCheckListBox*& list);

  std::uint8_t m_selectionType = 0;
  QRadioButton* rb_Other = nullptr;
  QRadioButton* rb_FindSelected = nullptr;
  widgets::TMekCheckListBox* clb_Image = nullptr;
  widgets::TMekCheckListBox* clb_Media = nullptr;
  widgets::TMekCheckListBox* clb_Business = nullptr;
  QLabel* lbl_Extra1 = nullptr;
  QLabel* lbl_Extra2 = nullptr;
  QLineEdit* df_Extra = nullptr;
  QCheckBox* cx_DeletedOnly = nullptr;
  QPushButton* pb_Save = nullptr;
  QPushButton* pb_Cancel = nullptr;
};

}  // namespace filetypes
