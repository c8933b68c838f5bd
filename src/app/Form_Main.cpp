#include "app/Form_Main.h"

#include <exception>

#include "relink/FileOP.h"
#include "settings/Reg_Ravelmend.h"

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
  std::string start = StartFile;
  StartFile.clear();
  if (!start.empty()) OpenDocumentFile(start);
  if (source_->FilePath().empty()) {
    LockButtons();
    ReadSource();
    ReleaseButtons();
  }
  if (G.ItemCount > 0 && ListView_IS.Current() > 0)
    ListView_IS.SetSelected(ListView_IS.Current(), true);
}

void Form_Main::ReadSource() {
  source_->Read(*this);
  Caption.SetText(source_->Caption());
}

void Form_Main::UseSource(std::unique_ptr<DocumentSource> source) {
  source_ = std::move(source);
  Caption.SetText(source_->Caption());
}

// Goes back to Word's active document, also from a file.
void Form_Main::Command_Init_Click() {
  if (!source_->AskBeforeLeaving(*this)) return;
  if (!source_->FilePath().empty()) UseSource(std::make_unique<DocumentSource>());
  LockButtons();
  Word.LookAgain();
  ReadSource();
  ReleaseButtons();
  Text_Path.SetText("");
}

void Form_Main::mnuOpen_Click() {
  if (!OpenFile || busy_) return;  // not in the middle of an operation
  std::string folder = source_->FilePath().empty() ? std::string() : source_->Folder(*this);
  if (std::optional<std::string> path = Hst.OpenDocumentDialog(folder)) OpenDocumentFile(*path);
}

void Form_Main::OpenDocumentFile(const std::string& path) {
  if (!OpenFile || path.empty()) return;
  if (!source_->AskBeforeLeaving(*this)) return;
  std::unique_ptr<DocumentSource> file;
  try {
    file = OpenFile(path);
  } catch (const std::exception& e) {
    Hst.MessageBox(
        "Ravelmend cannot open " + path.substr(path.rfind('\\') + 1) + ":\r\n" + e.what(),
        "Open Document File", kMbOk | kMbIconCritical);
    return;
  }
  if (!file) return;
  UseSource(std::move(file));
  LockButtons();
  ReadSource();
  ReleaseButtons();
  Text_Path.SetText("");
  if (G.ItemCount > 0 && ListView_IS.Current() > 0)
    ListView_IS.SetSelected(ListView_IS.Current(), true);
}

void Form_Main::Command_Exit_Click() {
  if (!source_->AskBeforeLeaving(*this)) return;
  G.StopRequested = true;
  SaveSettings(*this);
  Hst.EndProgram();
  StopPictures();  // the windows are gone: a picture still being read is abandoned
}

void Form_Main::Form_Unload() {
  if (!source_->AskBeforeLeaving(*this)) return;
  SaveSettings(*this);
  G.StopRequested = true;
  Hst.EndProgram();
  StopPictures();
}

// Ends at once: the options are not written (changes to a file are still asked about).
void Form_Main::mnuExit_Click() {
  if (!source_->AskBeforeLeaving(*this)) return;
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
  if (!source_->CanChangeStoredCopy()) {
    // Only the links' targets of a file are written: the box goes back to what the file says.
    SyncCurrentRow();
    Label_ProgressBar.SetText("The stored copy of a file's picture is kept as it is");
    return;
  }
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
  if (source_->FilePath().empty()) {
    Command_Init_Click();
    return;
  }
  // A file is read again, with or without its floating pictures; changes not yet saved are
  // asked about first, and Cancel leaves the option as it was.
  if (!source_->AskBeforeLeaving(*this)) {
    G.SuppressClickEvents = true;
    Check_ShowHiddenObjects.SetValue(Check_ShowHiddenObjects.Value() == 1 ? 0 : 1);
    G.SuppressClickEvents = false;
    return;
  }
  LockButtons();
  ReadSource();
  ReleaseButtons();
  Text_Path.SetText("");
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
  source_->Save(*this);
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
