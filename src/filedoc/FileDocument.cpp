#include "filedoc/FileDocument.h"

#include <algorithm>

#include "app/Form_Main.h"
#include "docfile/Repair.h"
#include "relink/FileOP.h"
#include "writeback/Save.h"

namespace ravel {

namespace {

using docfile::DocError;
using docfile::LinkKind;
using docfile::Reason;

const char* const kReading = "Reading Document Inlineshape Information...";
constexpr std::uint64_t kMaxFile = 4ull << 30;
constexpr int kListViewClasses = 1;

bool IsPictureKind(LinkKind kind) {
  return kind == LinkKind::InlinePicture || kind == LinkKind::FloatingPicture ||
         kind == LinkKind::VmlPicture || kind == LinkKind::IncludePictureField ||
         kind == LinkKind::Picture;
}

// A drive path or a network path; anything else is relative to the document's folder.
bool IsAbsolute(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

}  // namespace

std::string FileDocument::TypeTextOf(LinkKind kind) {
  switch (kind) {
    case LinkKind::InlinePicture:
    case LinkKind::FloatingPicture:
    case LinkKind::VmlPicture:
    case LinkKind::IncludePictureField:
    case LinkKind::Picture:
      return "Picture";  // as Word's list names every linked picture
    case LinkKind::OleObject:
      return "OLE Object";
    case LinkKind::LinkField:
      return "LINK Field";
    case LinkKind::ChartData:
      return "Chart Data";
    case LinkKind::Template:
      return "Template";
    case LinkKind::Subdocument:
      return "Subdocument";
    case LinkKind::IncludeTextField:
      return "INCLUDETEXT Field";
    case LinkKind::Hyperlink:
      return "Hyperlink";
    case LinkKind::ExternalWorkbook:
      return "External Workbook";
    case LinkKind::DdeLink:
      return "DDE Link";
    case LinkKind::LinkedAudio:
      return "Audio";
    case LinkKind::LinkedVideo:
      return "Video";
    case LinkKind::LinkedSection:
      return "Linked Section";
    case LinkKind::LinkedSheet:
      return "Linked Sheet";
  }
  return docfile::LinkKindName(kind);
}

FileDocument::FileDocument(std::string path, docfile::DocStore& store, HostPathOf host_path)
    : path_(std::move(path)),
      folder_(docfile::FolderOfPath(path_)),
      name_(docfile::NameOfPath(path_)),
      store_(store),
      host_path_(std::move(host_path)) {
  Load();
  loaded_now_ = true;
}

void FileDocument::Load() {
  docfile::Stamp stamp;
  std::vector<std::uint8_t> bytes = store_.Read(path_, stamp, kMaxFile);
  docfile::Document doc(bytes, folder_);
  links_ = doc.Links();
  bytes_ = std::move(bytes);
  stamp_ = stamp;
}

std::string FileDocument::Caption() const {
  return std::string(kAppTitle) + " - " + path_;
}

void FileDocument::Read(Form_Main& main) {
  Globals& g = main.G;
  g.SuppressClickEvents = true;
  g.ItemCount = 0;
  main.ListView_IS.Clear();
  main.InitListControls(kListViewClasses);
  main.Text_DocumentName.SetText(name_);
  main.Text_NewDestPath.SetText(folder_);
  auto finish = [&](const std::string& status) {
    g.SuppressClickEvents = false;
    main.Label_ProgressBar.SetText(status);
    main.ProgressBar_main.SetValue(0);
  };

  // Every read but the first looks at the file as it is now.
  if (!loaded_now_) {
    try {
      Load();
    } catch (const DocError& e) {
      links_.clear();
      bytes_.clear();
      main.Text_DocumentName.SetText(name_ + " - " + e.what());
      finish("Idle");
      return;
    }
  }
  loaded_now_ = false;
  if (links_.empty()) {
    main.Text_DocumentName.SetText(name_ + " - No LinkedObjects Found");
    finish("Idle");
    return;
  }

  main.ProgressBar_main.SetMax(static_cast<int>(links_.size()));
  main.Label_ProgressBar.SetText(kReading);
  int listable = 0;
  for (std::size_t i = 0; i < links_.size(); ++i) {
    main.Hst.PumpEvents();
    main.ProgressBar_main.SetValue(static_cast<int>(i) + 1);
    const docfile::Link& link = links_[i];
    // Web addresses are no files to relink; floating pictures follow the hidden option.
    if (link.parsed.form == docfile::TargetForm::NotAFile) continue;
    bool hidden = link.kind == LinkKind::FloatingPicture;
    if (hidden && main.Check_ShowHiddenObjects.Value() != 1) continue;
    ++listable;
    if (g.ItemCount >= kCapacity) continue;

    int n = ++g.ItemCount;
    LinkItem& item = g.Item(n);
    item = LinkItem{};
    item.SourcePath = link.parsed.path;
    item.FileName = docfile::NameOfPath(link.parsed.path);
    main.Label_ProgressBar.SetText(kReading + item.FileName);
    // A file keeps no lock state, and only pictures a stored copy: the cells say so.
    item.SaveWithDocument = IsPictureKind(link.kind) ? FlagOf(link.stored) : Flag::NotApplicable;
    item.Locked = Flag::NotApplicable;
    item.TypeText = TypeTextOf(link.kind);
    item.ShapeIndex = static_cast<std::int32_t>(i) + 1;  // the engine's link, counted from 1
    item.InLine = hidden ? 0 : 1;
    item.Hidden = hidden;
    bool exists = FileExists(main.Fs, item.SourcePath);
    main.ListView_IS.Add({ShortenForList(item.SourcePath), item.TypeText, TextOf(exists),
                          TextOf(item.SaveWithDocument), TextOf(item.Locked), TextOf(item.Hidden)});
  }
  if (listable > kCapacity)
    finish("Only the first " + std::to_string(kCapacity) + " of " + std::to_string(listable) +
           " links are listed");
  else
    finish("Idle");
}

bool FileDocument::Write(Form_Main& main, int& written, std::string& backup) {
  Globals& g = main.G;
  if (bytes_.empty()) return true;  // the last read found no document: nothing to write to
  try {
    // A fresh copy of the document as read, so that rows left out of an earlier save that
    // failed are not carried into this one.
    docfile::Document doc(bytes_, folder_);
    main.ProgressBar_main.SetMax(g.ItemCount);
    for (int n = 1; n <= std::min(g.ItemCount, kCapacity); ++n) {
      main.Hst.PumpEvents();
      main.ProgressBar_main.SetValue(n);
      const LinkItem& item = g.Item(n);
      if (!item.Changed || !item.Selected) continue;
      std::size_t i = static_cast<std::size_t>(item.ShapeIndex) - 1;
      if (i >= links_.size() || !links_[i].rewritable) continue;
      main.Label_ProgressBar.SetText(kSavingStatus + item.FileName);
      // A relative source is one the relative option made: it is written relative again.
      bool absolute = IsAbsolute(item.SourcePath);
      std::string path =
          absolute ? item.SourcePath : docfile::NormalizePath(folder_ + "\\" + item.SourcePath);
      if (!FileExists(main.Fs, path)) continue;  // as for Word: a missing file is passed over
      docfile::TargetForm form = links_[i].parsed.form;
      bool host = false;
      if (absolute && host_path_ &&
          (form == docfile::TargetForm::PosixUri || form == docfile::TargetForm::PosixPath)) {
        if (std::optional<std::string> on_host = host_path_(path)) {
          path = *on_host;
          host = true;
        }
      }
      doc.Retarget(i, path, docfile::WriteOptions{!absolute, host});
      ++written;
    }
    if (!doc.Changed()) return true;
    store_.CheckWritable(path_);
    std::vector<std::uint8_t> bytes = doc.Save();
    backup = store_.Replace(path_, bytes, stamp_, main.mnuBackup.Value() == 1);
    return true;
  } catch (const DocError& e) {
    Refused(main, e);
    return false;
  }
}

void FileDocument::Refused(Form_Main& main, const DocError& e) {
  std::string text;
  switch (e.reason()) {
    case Reason::Locked:
      text = name_ +
             " is open in Word or another program and was not written.\r\n"
             "Relink it in Word: make it Word's active document and press Init.";
      break;
    case Reason::ReadOnly:
      text = name_ + " is read-only and was not written (" + e.what() + ").";
      break;
    case Reason::Changed:
      text = name_ +
             " was changed on disk since Ravelmend read it and was not written.\r\n"
             "Open it again to relink what it holds now.";
      break;
    case Reason::Vanished:
      text = name_ + " is no longer there and was not written.";
      break;
    default:
      text = name_ + " was not written: " + e.what();
      break;
  }
  main.Hst.MessageBox(text + "\r\nNothing was changed; the new sources stay in the list.",
                      kSaveTitle, kMbOk | kMbIconExclamation);
}

void FileDocument::Save(Form_Main& main) {
  int written = 0;
  std::string backup;
  saved_ = Write(main, written, backup);
  if (!saved_) {
    // Nothing was written: the table keeps its changes, so the user can save again.
    main.Label_ProgressBar.SetText("Idle");
    main.ProgressBar_main.SetValue(0);
    return;
  }
  Read(main);
  if (written > 0)
    main.Label_ProgressBar.SetText(
        "Saved " + std::to_string(written) + (written == 1 ? " link" : " links") + " to " + name_ +
        (backup.empty() ? "" : "; backup: " + docfile::NameOfPath(backup)));
}

bool FileDocument::AskBeforeLeaving(Form_Main& main) {
  Globals& g = main.G;
  bool changed = false;
  for (int n = 1; n <= std::min(g.ItemCount, kCapacity); ++n)
    changed = changed || g.Item(n).Changed;
  if (!changed) return true;
  int answer = main.Hst.MessageBox("Save changes to " + name_ + "?", kAppTitle,
                                   kMbYesNoCancel | kMbIconQuestion);
  if (answer == kIdNo) return true;
  if (answer != kIdYes) return false;
  // Yes saves every changed row, selected in the list or not.
  for (int n = 1; n <= std::min(g.ItemCount, kCapacity); ++n)
    g.Item(n).Selected = g.Item(n).Changed;
  main.LockButtons();
  Save(main);
  main.ReleaseButtons();
  return saved_;
}

}  // namespace ravel
