// The main form over the stand-in Word, whose active document holds one linked picture, and
// an in-memory registry for the stored options: the setting the option and window tests share.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Form_Main.h"
#include "sim/MemoryFileSystem.h"
#include "sim/MemoryRegistry.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace ravel {

class OneLinkForm : public ::testing::Test {
 protected:
  static constexpr const char* kProduct = "Software\\Norquill\\Ravelmend";
  static constexpr const char* kSettings = "Software\\Norquill\\Ravelmend\\Settings";

  OneLinkForm() : word(std::make_shared<sim::SimWord>()), main(g, *word, fs, host) {
    int doc = word->AddDocument("Report.doc", "C:\\Docs");
    word->SetActive(doc);
    word->AddShape(doc, "InlineShapes", R"({"Type": 4, "LinkFormat": {"Type": 1,
        "SourceFullName": "C:\\Old\\a.gif", "SavePictureWithDocument": true, "Locked": false}})");
    main.SetRegistry(&reg);
  }

  // Stored options of the current version.
  void Store(const std::string& preview, const std::string& hidden, const std::string& rel) {
    reg.PutText(kProduct, "Version", "1.2.0");
    reg.PutText(kSettings, "Preview", preview);
    reg.PutText(kSettings, "Support_Hidden_Objects", hidden);
    reg.PutText(kSettings, "Rel_Path", rel);
  }
  // How often the document's pictures were read.
  long Reads() { return word->Context().calls_by_member["InlineShapes"]; }

  Globals g;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  sim::MemoryRegistry reg;
  std::shared_ptr<sim::SimWord> word;
  Form_Main main;
};

}  // namespace ravel
