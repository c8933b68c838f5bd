// The splash window: shown at start while the main window is prepared, then handing over to
// it; also the About window.
#pragma once

#include "app/Controls.h"
#include "preview/Picture.h"
#include "ravel/Version.h"

namespace ravel {

class Form_Main;

class frmSplash {
 public:
  // Window size in twips; Frame1 covers all of it.
  static constexpr int kWidth = 8025;
  static constexpr int kHeight = 4155;
  static constexpr int kStartInterval = 2000;
  static constexpr int kAboutInterval = 30000;

  explicit frmSplash(Form_Main& main);

  FormWindow Me{"frmSplash", "", kWidth, kHeight};
  Frame Frame1{"Frame1"};
  Image Picture1{"Picture1", 240, 240, 155 * 15, 203 * 15};  // the splash picture
  Label lblProductName{"lblProductName", "Ravelmend"};
  Label lblVersion{"lblVersion", "Version " RAVEL_VERSION " Built " RAVEL_BUILD_TEXT};
  Label lblPlatform{"lblPlatform", "Windows 98/2000"};
  Label lblCompanyProduct{"lblCompanyProduct", "Norquill"};
  Label lblCompany{"lblCompany", "Norquill"};
  Label lblCopyright{"lblCopyright"};
  Label Label5{"Label5"};  // the web address
  Timer Timer1{"Timer1", kStartInterval};

  // Loads the main window when it is not loaded yet (its own load handler reads the options
  // and the document), loads the options again, sets the main caption, starts the timer.
  void Form_Load();
  // Closes the splash and shows the main window.
  void Timer1_Timer();
  // A click on the free area hands over at once.
  void Frame1_Click() { Timer1_Timer(); }
  void Label5_Click();
  // Closed by its frame (Alt+F4): as a click.
  void Form_Unload() { Timer1_Timer(); }

  bool Closed() const { return closed_; }

 private:
  void Unload();
  Form_Main& main_;
  bool closed_ = false;
};

}  // namespace ravel
