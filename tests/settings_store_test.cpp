// The start and the stored options, over a one-picture document and an in-memory registry:
// the splash, the stored options and when they are saved, About, the information window.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/Form_Main.h"
#include "info/DL_Info.h"
#include "info/frmSplash.h"
#include "settings/Reg_Ravelmend.h"
#include "settings/Registry32.h"
#include "sim/MemoryFileSystem.h"
#include "sim/MemoryRegistry.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"

namespace ravel {
namespace {

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

// Fires the click handler on every value set, as a real check box does: loads must suppress it.
class ClickOnChange : public ControlPeer {
 public:
  ClickOnChange(Form_Main& m, void (Form_Main::*handler)()) : m_(m), handler_(handler) {}
  void Update(Control&, Aspect what) override {
    if (what == Aspect::Value) (m_.*handler_)();
  }

 private:
  Form_Main& m_;
  void (Form_Main::*handler_)();
};

using Strs = std::vector<std::string>;

class SettingsStore : public OneLinkForm {
 protected:
  SettingsStore() { main.Check_ShowHiddenObjects.SetPeer(&hidden_clicks); }
  // Whatever a test does: no handle left open, no message shown.
  ~SettingsStore() override {
    main.Check_ShowHiddenObjects.SetPeer(nullptr);
    EXPECT_EQ(reg.OpenHandles(), 0);
    EXPECT_TRUE(host.boxes.empty());
  }

  std::string Text(const char* key, const char* name) {
    auto v = reg.Get(key, name);
    if (!v) return "(missing)";
    return std::string(v->data.begin(), v->data.end());
  }
  // The three stored options, each a one-character text with its closing zero.
  Strs Stored() {
    Strs out;
    for (const char* name : {"Preview", "Support_Hidden_Objects", "Rel_Path"}) {
      std::string t = Text(kSettings, name);
      out.push_back(t.size() == 2 && t[1] == '\0' ? t.substr(0, 1) : "bad: " + t);
    }
    return out;
  }
  std::vector<int> Boxes() const {
    return {main.Check_preview.Value(), main.Check_ShowHiddenObjects.Value(),
            main.Check_relpath.Value()};
  }
  void SetBoxes(int preview, int hidden, int rel) {
    g.SuppressClickEvents = true;  // as the user's clicks, without their actions
    main.Check_preview.SetValue(preview);
    main.Check_ShowHiddenObjects.SetValue(hidden);
    main.Check_relpath.SetValue(rel);
    g.SuppressClickEvents = false;
  }

  ClickOnChange hidden_clicks{main, &Form_Main::Check_ShowHiddenObjects_Click};
};

TEST_F(SettingsStore, FirstRunCreatesTheDefaultsAndKeepsTheDesignTimeStates) {
  SetBoxes(0, 1, 0);  // proves the boxes are left alone
  main.Form_Load();
  EXPECT_EQ(Text(kProduct, "version"), std::string("1.2.0\0", 6));
  EXPECT_EQ(Stored(), (Strs{"1", "0", "1"}));
  EXPECT_EQ(reg.Get(kProduct, "Version")->name, "Version");
  EXPECT_EQ(reg.Get(kSettings, "Preview")->type, kRegSz);
  EXPECT_EQ(Boxes(), (std::vector<int>{0, 1, 0}));
}

TEST_F(SettingsStore, StoredOptionsLoadWithoutClickActions) {
  Store("0", "1", "0");
  main.Form_Load();
  EXPECT_EQ(Boxes(), (std::vector<int>{0, 1, 0}));
  long at_load = Reads();
  main.Command_Init_Click();
  EXPECT_EQ(at_load, Reads() - at_load) << "the document is read once, not again by the switch";
  EXPECT_FALSE(g.SuppressClickEvents);
}

// The backup option is stored with the others, and stays on where an older key lacks it.
TEST_F(SettingsStore, TheBackupOptionIsStoredAndAMissingValueKeepsItOn) {
  struct Case {
    const char* stored;  // null: no value
    int loads;
  };
  for (const Case& c : {Case{nullptr, 1}, Case{"0", 0}, Case{"1", 1}}) {
    Store("1", "0", "1");
    if (c.stored != nullptr) reg.PutText(kSettings, "Keep_Backup", c.stored);
    main.mnuBackup.SetValue(1);
    LoadSettingsAtStart(main);
    EXPECT_EQ(main.mnuBackup.Value(), c.loads) << (c.stored ? c.stored : "missing");
  }
  main.mnuBackup.SetValue(0);
  main.Form_Unload();
  EXPECT_EQ(Text(kSettings, "Keep_Backup"), std::string("0\0", 2));
}

// How data of any shape reads is the registry layer's (its tests); here what reads checks.
TEST_F(SettingsStore, OnlyATextOfExactlyTheDigitOneChecksABox) {
  struct Case {
    const char* label;
    std::vector<std::uint8_t> bytes;
    std::uint32_t type;
    int expected;
  };
  const Case cases[] = {
      {"1", {'1', 0}, kRegSz, 1},
      {"0", {'0', 0}, kRegSz, 0},
      {"leading blank", {' ', '1', 0}, kRegSz, 0},
      {"true", {'T', 'r', 'u', 'e', 0}, kRegSz, 0},
      {"no terminating zero", {'1'}, kRegSz, 1},
      {"a DWORD 1", {1, 0, 0, 0}, kRegDword, 0},
      {"300 ones", std::vector<std::uint8_t>(300, '1'), kRegSz, 0},
  };
  for (const Case& c : cases) {
    Store("1", "1", "1");
    reg.Put(kSettings, "Preview", c.type, c.bytes);
    SetBoxes(1 - c.expected, 0, 0);
    LoadSettingsAtStart(main);
    EXPECT_EQ(main.Check_preview.Value(), c.expected) << c.label;
    EXPECT_EQ(main.Check_relpath.Value(), 1) << c.label;
  }
  // A missing value unchecks its box; the others load as stored.
  reg.DeleteKey(kHkeyCurrentUser, kSettings);
  reg.PutText(kSettings, "Preview", "1");
  SetBoxes(0, 1, 1);
  LoadSettingsAtStart(main);
  EXPECT_EQ(Boxes(), (std::vector<int>{1, 0, 0}));
}

TEST_F(SettingsStore, AnyOtherVersionWipesTheWholeTreeAndWritesTheDefaults) {
  for (const char* version : {"1.1.0", "1.2.0 ", "", "1.2.00"}) {
    Store("0", "1", "0");
    reg.PutText(kProduct, "version", version);
    reg.PutText(std::string(kProduct) + "\\Old\\Deeper", "x", "y");
    SetBoxes(0, 1, 0);
    LoadSettingsAtStart(main);
    EXPECT_FALSE(reg.KeyExists(std::string(kProduct) + "\\Old")) << version;
    EXPECT_EQ(Text(kProduct, "Version"), std::string("1.2.0\0", 6)) << version;
    EXPECT_EQ(Stored(), (Strs{"1", "0", "1"})) << version;
    EXPECT_EQ(Boxes(), (std::vector<int>{0, 1, 0})) << "the boxes keep their states";
  }
  // Without any version value at all, likewise.
  sim::MemoryRegistry bare;
  bare.PutText(kSettings, "Preview", "0");
  for (bool first : {true, false}) {  // valid the second time
    Registry32 r(bare, host);
    EXPECT_EQ(EnsureSettingsKey(r), first);
    EXPECT_EQ(bare.Subkeys(kProduct), Strs{"Settings"});
  }
}

TEST_F(SettingsStore, EveryExitEndsTheProgramTheButtonsStopTheSearchAndStoreTheBoxes) {
  struct Case {
    const char* label;
    void (Form_Main::*exit)();
    bool stores;
    bool refused;  // the key refuses writes: the old values stay, silently
  };
  const Case cases[] = {
      {"Exit button", &Form_Main::Command_Exit_Click, true, false},
      {"closing the window", &Form_Main::Form_Unload, true, false},
      {"menu Exit", &Form_Main::mnuExit_Click, false, false},
      {"Exit button, write refused", &Form_Main::Command_Exit_Click, false, true},
  };
  for (const Case& c : cases) {
    Store("1", "0", "1");
    if (c.refused) reg.Protect(kSettings);
    SetBoxes(0, 1, 0);
    host.ended = g.StopRequested = false;
    (main.*c.exit)();
    EXPECT_TRUE(host.ended) << c.label;
    EXPECT_EQ(g.StopRequested, c.exit != &Form_Main::mnuExit_Click) << c.label;
    EXPECT_EQ(Stored(), (c.stores ? Strs{"0", "1", "0"} : Strs{"1", "0", "1"})) << c.label;
    EXPECT_FALSE(g.SuppressClickEvents);
  }
}

TEST_F(SettingsStore, SavingIntoKeysGoneSinceTheStart) {
  SetBoxes(0, 1, 0);
  SaveSettings(main);  // no key yet: created with the defaults, nothing more
  EXPECT_EQ(Stored(), (Strs{"1", "0", "1"}));

  // A valid version without settings: boxes unticked at the start, stored again on saving.
  reg.DeleteKey(kHkeyCurrentUser, kSettings);
  ASSERT_FALSE(reg.KeyExists(kSettings));
  LoadSettingsAtStart(main);
  EXPECT_EQ(Boxes(), (std::vector<int>{0, 0, 0}));
  SetBoxes(1, 1, 0);
  SaveSettings(main);
  EXPECT_EQ(Text(kProduct, "Version"), std::string("1.2.0\0", 6));
  EXPECT_EQ(Stored(), (Strs{"1", "1", "0"}));
  SetBoxes(0, 0, 1);
  LoadSettingsAtStart(main);
  EXPECT_EQ(Boxes(), (std::vector<int>{1, 1, 0}));
}

// About shows the splash modally until a click and brings back the stored options.
TEST_F(SettingsStore, AboutShowsTheSplashUntilAClickAndReplacesUnsavedChangesOfTheBoxes) {
  Store("1", "0", "1");
  main.Form_Load();
  long at_load = Reads();
  SetBoxes(0, 1, 0);
  host.on_about = [&](frmSplash& about) {
    EXPECT_EQ(Boxes(), (std::vector<int>{1, 0, 1}));
    EXPECT_TRUE(about.Me.Visible());
    EXPECT_FALSE(about.Timer1.Enabled()) << "it never closes by itself";
    EXPECT_EQ(about.Timer1.Interval(), 30000);
    EXPECT_FALSE(about.Closed());
    about.Frame1_Click();
    EXPECT_TRUE(about.Closed());
  };
  main.mnuAbout_Click();
  EXPECT_EQ(host.about_shown, 1);
  EXPECT_EQ(Boxes(), (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(Reads(), at_load);
}

TEST_F(SettingsStore, WithoutARegistryTheDesignTimeStatesStand) {
  main.SetRegistry(nullptr);
  main.Form_Load();
  EXPECT_EQ(Boxes(), (std::vector<int>{1, 0, 1}));
  main.Command_Exit_Click();
  EXPECT_TRUE(host.ended);
}

using Info = OneLinkForm;

TEST_F(Info, TheSplashPreparesTheMainWindowAndHandsOverOnItsTimerOrAClick) {
  Store("0", "0", "0");
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
