#pragma once
// Tfrm_Help: a small help box with a picture, a titled group and a text the
// caller fills (the Setup panel's help icons use it).

#include <QDialog>
#include <QGroupBox>
#include <QPlainTextEdit>

#include <string>
#include <vector>

namespace widgets {

class Tfrm_Help : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrm_Help(QWidget* parent = nullptr);

  void SetHelpTitle(const QString& title) { m_group->setTitle(title); }
  void SetLines(const std::vector<std::string>& lines);
  QString HelpTitle() const { return m_group->title(); }
  QString Text() const { return m_memo->toPlainText(); }

 private:
  QGroupBox* m_group;
  QPlainTextEdit* m_memo;
};

}  // namespace widgets
