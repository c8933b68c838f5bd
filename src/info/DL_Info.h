// The information window on Word's hidden linked pictures.
#pragma once

#include "app/Controls.h"
#include "preview/Picture.h"

namespace ravel {

class DL_Info {
 public:
  static constexpr int kWidth = 6600;
  static constexpr int kHeight = 7200;

  FormWindow Me{"DL_Info", "", kWidth, kHeight};
  Frame Frame1{"Frame1", "Tips for using Microsoft Word's Link-Image Feature"};
  Image Picture1{"Picture1", 120, 120, 417 * 15, 152 * 15};  // the illustration
  Label Label1{"Label1"};
  Label Label2{"Label2"};
  Label Label3{"Label3"};
  Label Label4{"Label4"};
  Label Label5{"Label5", "This limitation/bug is caused by Microsoft Word !"};
  Button Command_Exit{"Command_Exit", "&OK"};

  DL_Info();
  void Command_Exit_Click() { Unload(); }
  void Form_Unload() { Unload(); }  // closed by its frame or Esc
  bool Closed() const { return closed_; }

 private:
  void Unload();
  bool closed_ = false;
};

}  // namespace ravel
