// The main window as controls plus handlers. The Win32 layer creates the real controls,
// attaches peers and turns notifications into state updates followed by handler calls.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/Controls.h"
#include "app/DocumentSource.h"
#include "app/Globals.h"
#include "app/Host.h"
#include "inventory/WordPort.h"
#include "preview/Picture.h"
#include "preview/PictureRequests.h"
#include "relink/FileSystem.h"

namespace ravel {

class RegistryApi;
class wPictureViewer;

// The maker's web address, shown by Label5 and opened by "Online-Help".
extern const char* const kWebAddress;
// Title of message boxes that carry no title of their own.
extern const char* const kAppTitle;

class Form_Main {
 public:
  Form_Main(Globals& g, WordApp& word, FileSystem& fs, Host& host);

  // --- controls, named and captioned as they stand on the window ---
  Frame Frame_DocName{"Frame_DocName", "Document Name"};
  TextBox Text_DocumentName{"Text_DocumentName"};
  Frame Frame_NewDestPath{"Frame_NewDestPath", "New Source Root-Path"};
  TextBox Text_NewDestPath{"Text_NewDestPath"};
  CheckBox Check_relpath{"Check_relpath", "Set SourcePaths relatively from Document, if possible",
                         1};
  Button Command_Choose{"Command_Choose", "&Choose"};
  Frame Frame_IS{"Frame_IS", "InlineShapes"};
  ListView ListView_IS{"ListView_IS"};
  TextBox Text_Path{"Text_Path"};
  CheckBox Check_SID{"Check_SID", "Store in Document (SID)", 0};
  CheckBox Check_LinkLocked{"Check_LinkLocked", "Locked", 0};
  Frame Frame1{"Frame1", "Hidden Links"};
  CheckBox Check_ShowHiddenObjects{"Check_ShowHiddenObjects", "Support hidden Objects", 0};
  Label Label2{"Label2", "Info"};
  Label Label1{"Label1"};
  Label Label4{"Label4"};
  Frame Frame_Image{"Frame_Image", "Image"};
  CheckBox Check_preview{"Check_preview", "Preview", 1};
  Image xImgedit{"xImgedit", 120, 240, 3735, 1920};  // inside Frame_Image, stretching
  Control VScroll1{"VScroll1"};                      // its events do nothing
  Button Command1{"Command1", "&Show"};
  Button Command_Init{"Command_Init", "&Init"};
  Button Command_Set{"Command_Set", "&Dissolve"};
  Button Command_Save{"Command_Save", "&Save"};
  Button Command_Exit{"Command_Exit", "&Exit"};
  ProgressBar ProgressBar_main{"ProgressBar_main"};
  Label Label_ProgressBar{"Label_ProgressBar", "Idle"};
  TextBox Text_PBP{"Text_PBP", "Please be Patient..."};
  Label Label5{"Label5"};
  Timer Timer1{"Timer1", 10000};
  Timer Timer_dblclickFAKE{"Timer_dblclickFAKE", 10};
  // The window's caption.
  TextControl Caption{"Caption", "Ravelmend"};
  // Menu "File": "Online-Help", "About", a separator, "Exit".
  TextControl mnuFile{"mnuFile", "File"};
  TextControl mnuHelp{"mnuHelp", "Online-Help"};
  TextControl mnuAbout{"mnuAbout", "About"};
  TextControl mnuExit{"mnuExit", "Exit"};
  // "Open Document File..." (Ctrl+O) and the option "Keep a Backup Copy (.bak)", above
  // "Online-Help".
  TextControl mnuOpen{"mnuOpen", "&Open Document File...\tCtrl+O"};
  CheckBox mnuBackup{"mnuBackup", "&Keep a Backup Copy (.bak)", 1};

  // The new source root chosen last; only the root selection sets it.
  std::string NewRootPath;
  // The busy state, for the window's mouse pointer.
  bool Busy() const { return busy_; }

  // --- busy state ---
  void LockButtons();
  void ReleaseButtons();

  // --- handlers ---
  void Form_Load();
  void Command_Init_Click();
  void Command_Exit_Click();
  void Form_Unload();  // the window is being closed, any way
  void mnuExit_Click();
  void Timer1_Timer();
  // True once the load handler has run.
  bool Loaded() const { return loaded_; }

  // --- the document behind the list: Word's active document, or a file opened here ---
  DocumentSource& Source() { return *source_; }
  // Makes a source for a document file; throws (with a message fit to show) when the file
  // cannot be read as a document. Set by the platform; none: files cannot be opened.
  std::function<std::unique_ptr<DocumentSource>(const std::string& path)> OpenFile;
  // A document file given on the command line: the load handler opens it instead of
  // reading Word's document.
  std::string StartFile;
  void mnuOpen_Click();
  void mnuBackup_Click() {}  // the value alone matters
  // Opens a document file (menu, command line, a file dropped on the window) after asking
  // about unsaved changes; a file that cannot be read keeps the document shown before.
  void OpenDocumentFile(const std::string& path);
  // The shown document's name and folder, through its source.
  std::string DocumentName() { return source_->Name(*this); }
  std::string DocumentFolder() { return source_->Folder(*this); }
  std::string WindowCaption() const { return source_->Caption(); }

  // --- stored options: the registry they live in (none: the design-time states stand) ---
  void SetRegistry(RegistryApi* registry) { registry_ = registry; }
  RegistryApi* Registry() const { return registry_; }

  // --- preview and viewer ---
  void ShowPreview();
  void OpenPictureViewer();
  void Command1_Click() { OpenPictureViewer(); }
  void xImgedit_DblClick() { OpenPictureViewer(); }
  // The viewer while loaded (shown or not), else null.
  wPictureViewer* Viewer() const;
  // Pictures are read on worker threads; a finished one is taken here, on the window
  // thread, when the worker's posted message arrives.
  void PicturesArrived();
  // A picture is being read for the preview or the viewer.
  bool LoadingPictures() const;
  // Abandons the pictures being read and ends their workers (when the program ends).
  void StopPictures();

  // --- help, About and Info ---
  void mnuHelp_Click();
  void mnuAbout_Click();
  void Label2_Click();  // "Info"
  void Label5_Click();  // the web address
  void ShowAbout();
  void ShowInfo();

  void ListView_IS_Click();
  void ListView_IS_ItemClick();
  void ListView_IS_DblClick();
  void ListView_IS_ColumnClick(int column);
  void ListView_IS_MouseUp();
  void Timer_dblclickFAKE_Timer();
  void Check_SID_Click();
  void Check_LinkLocked_Click();
  void Check_ShowHiddenObjects_Click();

  void Command_Choose_Click();
  void Command_Set_Click();
  void deppxx();
  void Command_Save_Click();

  // Switches the list's full-row selection on; false when the control classes could not be
  // initialised (callers ignore it).
  bool InitListControls(int class_flags);
  void SetListExtendedStyle(unsigned style_bit, bool on);

  Globals& G;
  WordApp& Word;
  FileSystem& Fs;
  Host& Hst;

 private:
  void SyncCurrentRow();
  void OpenViewerOnce();  // OpenPictureViewer's work, inside the hourglass
  void ReadSource();      // read between LockButtons and ReleaseButtons
  void UseSource(std::unique_ptr<DocumentSource> source);
  std::unique_ptr<DocumentSource> source_ = std::make_unique<DocumentSource>();
  PictureRequests& PreviewLoads();
  PictureRequests& ViewerLoads();
  // The row left while its picture is read: that picture is not shown.
  void DropStalePreview();
  int preview_item_ = 0;  // the row whose picture the preview is reading
  bool busy_ = false;
  bool loaded_ = false;
  RegistryApi* registry_ = nullptr;
  std::shared_ptr<wPictureViewer> viewer_;
  // Declared last: their workers end first, before anything they report to.
  std::unique_ptr<PictureRequests> preview_loads_;
  std::unique_ptr<PictureRequests> viewer_loads_;
};

// Check-box values: 1 checked, 0 unchecked.
int CheckValueOf(Flag f);
inline int CheckValueOf(bool b) {
  return b ? 1 : 0;
}
bool BooleanOfCheck(int value);

// Text_Path's rule: beyond 65 characters a blank follows the 65th.
std::string PathForDisplay(const std::string& path);

}  // namespace ravel
