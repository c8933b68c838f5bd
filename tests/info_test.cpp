// The splash at start (About: the settings tests), the information window and the web-site links.
#include <gtest/gtest.h>

#include "form_support.h"
#include "info/DL_Info.h"
#include "info/frmSplash.h"

namespace ravel {
namespace {

class Info : public OneLinkForm {
 protected:
  Info() { Store("0", "0", "0"); }
};

TEST_F(Info, TheSplashPreparesTheMainWindowAndHandsOverOnItsTimerOrAClick) {
  frmSplash splash(main);
  main.Caption.SetText("");
  splash.Form_Load();
  EXPECT_TRUE(main.Loaded());
  EXPECT_EQ(g.ItemCount, 1) << "the document is read before the splash is seen";
  EXPECT_EQ(main.Check_preview.Value(), 0) << "options loaded";
  EXPECT_EQ(main.Caption.Text(), "Ravelmend");
  EXPECT_TRUE(splash.Timer1.Enabled());
  EXPECT_EQ(splash.Timer1.Interval(), 2000);
  EXPECT_EQ(host.main_shown, 0);
  EXPECT_FALSE(splash.Me.Visible()) << "the host shows it once the load has finished";

  host.ShowSplash(splash);
  EXPECT_TRUE(splash.Me.Visible());
  EXPECT_EQ(splash.lblProductName.Text(), "Ravelmend");
  EXPECT_EQ(splash.lblVersion.Text(), "Version 1.2.1 Built 1030");
  EXPECT_EQ(splash.Label5.Text(), kWebAddress);
  // The web address here, Help and the main window's address open the maker's site.
  splash.Label5_Click();
  EXPECT_FALSE(splash.Closed()) << "the web address does not hand over";
  main.mnuHelp_Click();
  main.Label5_Click();
  EXPECT_EQ(host.shell_opened, std::vector<std::string>(3, kWebAddress));

  splash.Timer1_Timer();
  EXPECT_TRUE(splash.Closed());
  EXPECT_FALSE(splash.Me.Visible());
  EXPECT_FALSE(splash.Timer1.Enabled());
  EXPECT_EQ(host.main_shown, 1);
  EXPECT_EQ(main.Caption.Text(), "Ravelmend");

  // A click on its free area hands over at once.
  frmSplash clicked(main);
  clicked.Form_Load();
  clicked.Frame1_Click();
  EXPECT_TRUE(clicked.Closed());
  EXPECT_EQ(host.main_shown, 2);
}

TEST_F(Info, InfoOpensModallyWithItsTextsAndOkClosesIt) {
  bool closed = false;
  host.on_info = [&](DL_Info& info) {
    EXPECT_EQ(info.Frame1.Text(), "Tips for using Microsoft Word's Link-Image Feature");
    EXPECT_EQ(info.Command_Exit.Text(), "&OK");
    EXPECT_EQ(info.Label3.Text(),
              "It is strongly recommended to leave Linked-Images  format- ted as 'in line with "
              "text' !");
    EXPECT_EQ(info.Label5.Text(), "This limitation/bug is caused by Microsoft Word !");
    EXPECT_NE(info.Label2.Text().find("Ravelmend  can  try  to  by-pass this  bug"),
              std::string::npos);
    info.Command_Exit_Click();
    closed = info.Closed() && !info.Me.Visible();
  };
  main.Label2_Click();
  EXPECT_EQ(host.info_shown, 1);
  EXPECT_TRUE(closed);
}

}  // namespace
}  // namespace ravel
