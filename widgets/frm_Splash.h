#pragma once
// Tfrm_Splash: the borderless start-up screen with the main picture, the
// version and the note about the connection. "OK" gives 1, "Quit" (and
// closing it any other way) gives 2, after which the program ends.

#include <QDialog>
#include <QLabel>
#include <QPushButton>

namespace widgets {

class Tfrm_Splash : public QDialog {
  Q_OBJECT
 public:
  explicit Tfrm_Splash(QWidget* parent = nullptr);

  void SetImage(const QPixmap& picture);
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* QuitButton() const { return m_quit; }

 public slots:
  void reject() override;

 private:
  QLabel* m_image;
  QPushButton* m_ok;
  QPushButton* m_quit;
};

// The ten lines of the splash note.
QString SplashNoteText();

}  // namespace widgets
