// The duplicate location chooser: one modal dialog per item found at several places.
#pragma once

#include "app/Controls.h"

namespace ravel {

class Form_Main;

class MoreLinksFound {
 public:
  explicit MoreLinksFound(Form_Main& main) : main_(main) {}

  Label Label1{"Label1",
               "One File was found at multiple locations.                    Please choose the "
               "prefered one:"};
  ListBox List_moreLinksFound{"List_moreLinksFound"};
  TextBox Text_Path{"Text_Path"};
  Button Command_OK{"Command_OK", "&OK"};
  Button Command_Cancel{"Command_Cancel", "&Cancel"};
  Frame Frame1{"Frame1"};

  // Row of FoundPaths (and item number) the dialog decides for.
  int ItemIndex = 0;
  // True once the dialog has unloaded itself; the host then closes the window.
  bool Closed() const { return closed_; }

  void List_moreLinksFound_Click();     // the highlighted entry was clicked
  void List_moreLinksFound_DblClick();  // takes the entry, as OK does
  void Command_OK_Click();
  void Command_Cancel_Click();
  void Form_Unload();  // closed by the window frame: as Cancel
  void link_selectionDone();

 private:
  void Unload();
  Form_Main& main_;
  bool closed_ = false;
};

}  // namespace ravel
