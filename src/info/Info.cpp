// The splash (and About) window and the information window.
#include "app/Form_Main.h"
#include "info/DL_Info.h"
#include "info/SharedFunctions.h"
#include "info/frmSplash.h"
#include "settings/Reg_Ravelmend.h"

namespace ravel {

frmSplash::frmSplash(Form_Main& main) : main_(main) {
  lblCopyright.SetText("Copyright \xC2\xA9 2026 Norquill. All rights reserved.");
  Label5.SetText(kWebAddress);
}

void frmSplash::Form_Load() {
  if (!main_.Loaded()) main_.Form_Load();
  LoadSettingsAtStart(main_);
  main_.Caption.SetText(main_.WindowCaption());
  Timer1.Start();
}

void frmSplash::Timer1_Timer() {
  // Each step goes ahead whatever the one before it did.
  try {
    Timer1.Stop();
    Unload();
  } catch (...) {
  }
  try {
    main_.Hst.ShowMainWindow();
  } catch (...) {
  }
  main_.Caption.SetText(main_.WindowCaption());
}

void frmSplash::Label5_Click() {
  OpenWithShell(main_.Hst, kWebAddress);
}

void frmSplash::Unload() {
  if (closed_) return;
  closed_ = true;
  Me.SetVisible(false);
}

DL_Info::DL_Info() {
  Label1.SetText(
      "Microsoft  Word  'hides'  Linked  Images  from  the  Edit-Link  Dialog,  if they are "
      "formatted as 'not in line with text' i. e. 'in front of text' or 'tight'.");
  Label2.SetText(
      "This means, that  there  is  normally  no  way  updating  changed  Link- Paths untill the "
      "Linked Image is re-formatted as 'in line with text'. Ravelmend  can  try  to  by-pass "
      "this  bug to  let  you freely  edit  this Linked-Objects like any other. Please note that "
      "this special function is not always applicable on all images of that type  and  the "
      "result stored to the Word-Document should always be checked.");
  Label3.SetText(
      "It is strongly recommended to leave Linked-Images  format- ted as 'in line with text' !");
  Label4.SetText(
      "Embeded OLE-objects, like Excel-sheets can be freely formatted and are full supported "
      "through this application. ");
}

void DL_Info::Unload() {
  if (closed_) return;
  closed_ = true;
  Me.SetVisible(false);
}

// --- the main window's entry points ---

void Form_Main::ShowAbout() {
  frmSplash about(*this);
  about.Form_Load();
  about.Timer1.Stop();
  about.Timer1.SetInterval(frmSplash::kAboutInterval);
  Hst.ShowModal(about);
}

void Form_Main::ShowInfo() {
  DL_Info info;
  Hst.ShowModal(info);
}

void Form_Main::mnuHelp_Click() {
  OpenWithShell(Hst, kWebAddress);
}

void Form_Main::mnuAbout_Click() {
  ShowAbout();
}

void Form_Main::Label2_Click() {
  ShowInfo();
}

void Form_Main::Label5_Click() {
  OpenWithShell(Hst, kWebAddress);
}

}  // namespace ravel
