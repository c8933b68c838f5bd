#include "app/Form_Main.h"

#include "inventory/Inventory.h"
#include "relink/FileOP.h"
#include "settings/Reg_Ravelmend.h"
#include "writeback/Save.h"

namespace ravel {

const char* const kWebAddress = "https://www.norquill.example/ravelmend";
const char* const kAppTitle = "Ravelmend";

namespace {

constexpr unsigned kLvsExFullRowSelect = 0x20;

const char* const kLabel1Text =
    "Linked images, formatted as 'not in line with text' (i.e. abo- ve or behind), are hidden "
    "in the 'edit-links'-dialog of MS- Word. Ravelmend can try to by-pass this bug to let you "
    "freely edit this Linked-Objects like any other.                     See 'hidden' column "
    "above to identify such objects.";
const char* const kLabel4Text =
    "Any operation (Set, Save, etc.) will only be applicated on selected List items, indicated "
    "as highlighted blue.";
const char* const kHiddenNotice =
    "This special function is not always applicable on all hidden links and  the result\r\n"
    "stored to the Word-Document should be checked.\r\n"
    "See 'Info' for detailed information.";

}  // namespace

int CheckValueOf(Flag f) {
  return f == Flag::True ? 1 : 0;
}
bool BooleanOfCheck(int value) {
  return value == 1;
}

std::string PathForDisplay(const std::string& path) {
  return BreakAfter(path, 65, " ");
}

Form_Main::Form_Main(Globals& g, WordApp& word, FileSystem& fs, Host& host)
    : G(g), Word(word), Fs(fs), Hst(host) {
  Label1.SetText(kLabel1Text);
  Label4.SetText(kLabel4Text);
  Label5.SetText(kWebAddress);
  Text_PBP.SetVisible(false);
  ListView_IS.SetColumns({{"File", 8996},
                          {"Type", 706},
                          {"Exist", 476},
                          {"SID", 476},
                          {"Locked", 758},
                          {"hidden", 653}});
  ListView_IS.SetToolTip("Double-Click to change file/path manually");
}

// No nesting count: a second lock while busy changes nothing, the first release ends it.
void Form_Main::LockButtons() {
  busy_ = true;
  Hst.SetBusyCursor(true);
  Command_Init.SetEnabled(false);
  Command_Save.SetEnabled(false);
  Command_Set.SetEnabled(false);
  Timer1.Start();
  Text_PBP.SetVisible(true);
}

void Form_Main::ReleaseButtons() {
  busy_ = false;
  Hst.SetBusyCursor(false);
  Command_Init.SetEnabled(true);
  Command_Save.SetEnabled(true);
  Command_Set.SetEnabled(true);
  Timer1.Stop();
  Text_PBP.SetVisible(false);
}

void Form_Main::Form_Load() {
  loaded_ = true;
  LoadSettingsAtStart(*this);
  LockButtons();
  ReadInventory(*this);
  ReleaseButtons();
  if (G.ItemCount > 0 && ListView_IS.Current() > 0)
    ListView_IS.SetSelected(ListView_IS.Current(), true);
}

void Form_Main::Command_Init_Click() {
  LockButtons();
  Word.LookAgain();
  ReadInventory(*this);
  ReleaseButtons();
  Text_Path.SetText("");
}

void Form_Main::Command_Exit_Click() {
  G.StopRequested = true;
  SaveSettings(*this);
  Hst.EndProgram();
  StopPictures();  // the windows are gone: a picture still being read is abandoned
}

void Form_Main::Form_Unload() {
  SaveSettings(*this);
  G.StopRequested = true;
  Hst.EndProgram();
  StopPictures();
}

// Ends at once: the options are not written.
void Form_Main::mnuExit_Click() {
  Hst.EndProgram();
  StopPictures();
}

// Keeps the patience text up should anything have hidden it during an operation.
void Form_Main::Timer1_Timer() {
  if (!Text_PBP.Visible()) Text_PBP.SetVisible(true);
}

void Form_Main::SyncCurrentRow() {
  int n = ListView_IS.Current();
  if (n < 1 || n > G.ItemCount || n > ListView_IS.Count()) return;
  G.SuppressClickEvents = true;
  const LinkItem& item = G.Item(n);
  Text_Path.SetText(PathForDisplay(item.SourcePath));
  Check_SID.SetValue(CheckValueOf(item.SaveWithDocument));
  Check_LinkLocked.SetValue(CheckValueOf(item.Locked));
  G.SuppressClickEvents = false;
}

void Form_Main::ListView_IS_Click() {
  if (G.ItemCount > 0) SyncCurrentRow();
}

void Form_Main::ListView_IS_ItemClick() {
  SyncCurrentRow();
  DropStalePreview();
}

void Form_Main::Check_SID_Click() {
  if (G.SuppressClickEvents) return;
  int n = ListView_IS.Current();
  if (n < 1 || n > G.ItemCount) return;
  bool on = BooleanOfCheck(Check_SID.Value());
  LinkItem& item = G.Item(n);
  item.SaveWithDocument = FlagOf(on);
  ListView_IS.SetCell(n, 3, TextOf(on));
  item.Changed = true;
}

// The lock state is kept for the current row only; its column and Changed stay as they are.
void Form_Main::Check_LinkLocked_Click() {
  if (G.SuppressClickEvents) return;
  int n = ListView_IS.Current();
  if (n < 1 || n > G.ItemCount) return;
  G.Item(n).Locked = FlagOf(BooleanOfCheck(Check_LinkLocked.Value()));
}

void Form_Main::Check_ShowHiddenObjects_Click() {
  if (G.SuppressClickEvents) return;
  if (Check_ShowHiddenObjects.Value() == 1)
    Hst.MessageBox(kHiddenNotice, "Support hidden Objects", kMbOk | kMbIconInformation);
  Command_Init_Click();
}

// The double-click takes effect only after the list has finished handling the click.
void Form_Main::ListView_IS_DblClick() {
  Timer_dblclickFAKE.Start();
}

void Form_Main::Timer_dblclickFAKE_Timer() {
  Timer_dblclickFAKE.Stop();
  deppxx();
}

void Form_Main::ListView_IS_ColumnClick(int column) {
  ListView_IS.ColumnClick(column);
}

// Only a mouse-button release refreshes the preview, not a move by keyboard.
void Form_Main::ListView_IS_MouseUp() {
  if (Check_preview.Value() == 1) ShowPreview();
}

void Form_Main::Command_Save_Click() {
  std::string root = NewRootPath;
  if (G.ItemCount == 0) return;
  LockButtons();
  for (int i = 1; i <= ListView_IS.Count() && i <= G.ItemCount; ++i)
    G.Item(i).Selected = ListView_IS.Selected(i);
  SaveToDocument(*this);
  ReleaseButtons();
  // The closing re-read shows the document's folder; a chosen root is shown again (without
  // one, the document's folder stays rather than an empty box).
  if (!root.empty()) Text_NewDestPath.SetText(root);
}

bool Form_Main::InitListControls(int class_flags) {
  (void)class_flags;  // the window layer registers the list-view classes at start-up
  SetListExtendedStyle(kLvsExFullRowSelect, true);
  return true;
}

void Form_Main::SetListExtendedStyle(unsigned style_bit, bool on) {
  unsigned style = ListView_IS.ExtendedStyle();
  style = on ? (style | style_bit) : (style & ~style_bit);
  ListView_IS.SetExtendedStyle(style);
}

}  // namespace ravel
