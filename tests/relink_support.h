// A main window over the memory file system, the scripted host and a one-document Word,
// for the relinking tests.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "sim/MemoryFileSystem.h"
#include "sim/ScriptedHost.h"
#include "sim/SimObject.h"

namespace ravel::test {

// Word with at most one document: its Name and Path, or none (ActiveDocument then fails as
// Word fails when no document is open).
class OneDocumentWord : public WordApp {
 public:
  OneDocumentWord() : ctx_(std::make_shared<sim::SimContext>()) {
    global_ = std::make_shared<sim::SimObject>(ctx_, "Application");
    Open("Report.doc", "C:\\Docs");
  }
  WObjectPtr Global() override { return global_; }
  void Open(const std::string& name, const std::string& path) {
    doc_ = std::make_shared<sim::SimObject>(ctx_, "Document");
    doc_->Set("Name", std::string(name));
    doc_->Set("Path", std::string(path));
    global_->Set("ActiveDocument", WObjectPtr(doc_));
  }
  void CloseAll() { global_->Erase("ActiveDocument"); }
  sim::SimObjectPtr Doc() const { return doc_; }

 private:
  std::shared_ptr<sim::SimContext> ctx_;
  sim::SimObjectPtr global_, doc_;
};

// Records what a control was told to show, in order.
class Recorder : public ControlPeer {
 public:
  void Update(Control& c, Aspect what) override {
    if (what == Aspect::Text) texts.push_back(static_cast<TextControl&>(c).Text());
    if (what == Aspect::Value)
      if (auto* bar = dynamic_cast<ProgressBar*>(&c)) values.push_back(bar->Value());
    if (what == Aspect::Focus) ++focus;
  }
  std::vector<std::string> texts;
  std::vector<int> values;
  int focus = 0;
};

struct Harness {
  Globals g;
  OneDocumentWord word;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  Form_Main main{g, word, fs, host};

  Harness() { main.Text_DocumentName.SetText("Report.doc"); }

  // Adds item n = ItemCount + 1 with its list row, as a read would.
  int AddItem(const std::string& file_name, const std::string& source, bool selected = true,
              bool hidden = false) {
    int n = ++g.ItemCount;
    LinkItem& item = g.Item(n);
    item = LinkItem{};
    item.FileName = file_name;
    item.SourcePath = source;
    item.Selected = selected;
    item.Hidden = hidden;
    item.InLine = hidden ? 0 : 1;
    main.ListView_IS.Add({source, "Picture", "False", "False", "False", hidden ? "True" : "False"});
    main.ListView_IS.SetSelected(n, selected);
    return n;
  }

  // Found locations of item n, in the order recorded.
  std::vector<std::string> Found(int n) const {
    const FoundRow& row = g.FoundPaths.at(static_cast<std::size_t>(n));
    std::vector<std::string> out;
    for (int k = 1; k <= std::stoi(row[0]); ++k) out.push_back(row[static_cast<std::size_t>(k)]);
    return out;
  }
  // The table as the dissolve prepares it before a walk.
  void ResetFound() {
    g.FoundPaths.assign(static_cast<std::size_t>(g.ItemCount) + 1, FoundRow{});
    for (int i = 1; i <= g.ItemCount; ++i)
      g.FoundPaths[static_cast<std::size_t>(i)][0].assign(1, '0');
    g.WalkDepth = 0;
  }
};

}  // namespace ravel::test
