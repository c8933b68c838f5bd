#include "inventory/Inventory.h"

#include <optional>

#include "app/Form_Main.h"
#include "inventory/Word.h"
#include "relink/FileOP.h"

namespace ravel {

namespace {

const char* const kReading = "Reading Document Inlineshape Information...";
constexpr int kListViewClasses = 1;

// The file name of a link's source: what follows its last backslash (or slash, in a URL).
std::string NameOfSource(const std::string& full) {
  auto k = full.find_last_of("\\/");
  return k == std::string::npos ? full : full.substr(k + 1);
}

// One Word call (or a file test) that may fail; the failure leaves its field empty.
template <class F>
bool Try(F&& f) {
  try {
    f();
    return true;
  } catch (const OperationCancelled&) {
    throw;
  } catch (const std::exception&) {
    return false;
  }
}

class Reader {
 public:
  explicit Reader(Form_Main& m) : m_(m), g_(m.G) {}

  void Run() {
    // The document and its collections are held for the read: each fetch is a call into
    // Word. Should another document become active meanwhile, the read starts again, so the
    // list shows the active document.
    for (int attempt = 0;; ++attempt) {
      if (!Once()) return;
      std::optional<std::string> now;
      Try([&] { now = ActiveDocument(m_.Word).FullName(); });
      if (!now || *now == g_.DocumentFullName || attempt == 2) break;
    }
  }

 private:
  // One read; false when it ended for want of a document.
  bool Once() {
    g_.SuppressClickEvents = true;
    g_.ItemCount = 0;
    g_.DocumentFullName.clear();
    listable_ = 0;
    m_.ListView_IS.Clear();
    m_.InitListControls(kListViewClasses);

    int inline_count = 0, floating_count = 0;
    if (!Try([&] { ReadDocument(inline_count, floating_count); })) {
      m_.Text_DocumentName.SetText("No Document Available");
      g_.DocumentFullName.clear();
      path_.reset();
      Finish("Idle");
      return false;
    }
    if (inline_count + floating_count == 0) {
      m_.Text_DocumentName.SetText(m_.Text_DocumentName.Text() + " - No LinkedObjects Found");
      g_.SuppressClickEvents = false;
      return true;
    }
    m_.ProgressBar_main.SetMax(inline_count + floating_count);
    m_.Label_ProgressBar.SetText(kReading);
    for (int i = 1; i <= inline_count; ++i) Item(false, i);
    for (int j = 1; j <= floating_count; ++j) Item(true, j);

    // The table holds kCapacity items; beyond them the links are only counted.
    if (listable_ > kCapacity)
      Finish("Only the first " + std::to_string(kCapacity) + " of " + std::to_string(listable_) +
             " links are listed");
    else
      Finish("Idle");
    return true;
  }

  // Steps 3 and 4; any failure here ends the read.
  void ReadDocument(int& inline_count, int& floating_count) {
    doc_.emplace(ActiveDocument(m_.Word));
    doc_->Activate();
    m_.Text_DocumentName.SetText(doc_->Name());
    path_ = doc_->Path();
    m_.Text_NewDestPath.SetText(*path_);
    Try([&] { g_.DocumentFullName = doc_->FullName(); });
    inline_.emplace(doc_->InlineShapes());
    inline_count = inline_->Count();
    floating_.emplace(doc_->FloatingShapes());
    floating_count = floating_->Count();
  }

  void Finish(const std::string& status) {
    g_.SuppressClickEvents = false;
    m_.Label_ProgressBar.SetText(status);
    m_.ProgressBar_main.SetValue(0);
  }

  void Item(bool floating, int index) {
    m_.Hst.PumpEvents();
    m_.ProgressBar_main.SetValue(index);

    // The item is fetched once and used for all its steps; an item whose type or link type
    // cannot be read is passed over.
    std::optional<Shape> shape;
    std::optional<LinkFormat> link;
    int link_type = -1;
    bool hidden = false;
    bool taken = Try([&] {
      shape.emplace((floating ? *floating_ : *inline_).Item(index));
      int type = shape->Type();
      if (!floating && type != kInlineLinkedOle && type != kInlineLinkedPicture) return;
      if (floating && type != kShapeLinkedOle && type != kShapeLinkedPicture) return;
      hidden = floating && type == kShapeLinkedPicture;
      if (hidden && m_.Check_ShowHiddenObjects.Value() != 1) return;
      link.emplace(shape->Link());
      link_type = link->Type();
    });
    if (!taken || (link_type != kLinkOle && link_type != kLinkPicture)) return;

    ++listable_;
    if (g_.ItemCount >= kCapacity) return;

    // The file name is the last part of the full source, as Word's SourceName is: one call
    // less per item.
    std::optional<std::string> source;
    Try([&] { source = link->SourceFullName(); });
    if (source) m_.Label_ProgressBar.SetText(kReading + NameOfSource(*source));

    int n = ++g_.ItemCount;
    LinkItem& item = g_.Item(n);
    item = LinkItem{};
    Fill(item, *shape, *link, link_type, source);
    item.ShapeIndex = index;
    item.InLine = floating ? 0 : 1;
    item.Hidden = hidden;
    if (floating && item.Locked == Flag::Empty) item.Locked = Flag::NotApplicable;
    AddRow(item);
  }

  void Fill(LinkItem& item, const Shape& shape, const LinkFormat& link, int link_type,
            const std::optional<std::string>& source) {
    // The class type is asked for at most once, whether it answers or not.
    std::optional<std::string> class_type;
    bool asked = false;
    auto ole_class = [&]() -> const std::optional<std::string>& {
      if (!asked) {
        asked = true;
        Try([&] { class_type = shape.OleClassType(); });
      }
      return class_type;
    };
    if (source) {
      item.SourcePath = *source;
      item.FileName = NameOfSource(*source);
      item.ReadSource = item.SourcePath;
    } else if (ole_class())
      item.SourcePath = *ole_class();
    // Word stores a copy only of a linked picture: an OLE link has no such flag to read.
    if (link_type == kLinkPicture)
      Try([&] { item.SaveWithDocument = FlagOf(link.SavePictureWithDocument()); });
    Try([&] { item.Locked = FlagOf(link.Locked()); });
    if (link_type == kLinkPicture)
      item.TypeText = "Picture";
    else if (ole_class())
      item.TypeText = *ole_class();
    item.Changed = false;
    item.Selected = false;
  }

  bool Exists(const std::string& source) {
    if (Try([&] { found_ = FileExists(m_.Fs, source); }) && found_) return true;
    // Else as a path relative to the document's folder, whatever its form: a source that
    // begins with a backslash is then looked for below that folder too.
    return path_ && Try([&] { found_ = FileExists(m_.Fs, *path_ + "\\" + source); }) && found_;
  }

  void AddRow(const LinkItem& item) {
    m_.ListView_IS.Add({ShortenForList(item.SourcePath), item.TypeText,
                        TextOf(Exists(item.SourcePath)), TextOf(item.SaveWithDocument),
                        TextOf(item.Locked), TextOf(item.Hidden)});
  }

  Form_Main& m_;
  Globals& g_;
  int listable_ = 0;
  bool found_ = false;
  std::optional<Document> doc_;
  std::optional<std::string> path_;
  std::optional<Shapes> inline_, floating_;
};

}  // namespace

void ReadInventory(Form_Main& main) {
  Reader reader(main);
  try {
    reader.Run();
  } catch (const OperationCancelled&) {
    // Stopped while Word was busy: a list read in part is no list to save by.
    main.G.ItemCount = 0;
    main.ListView_IS.Clear();
    main.G.SuppressClickEvents = false;
    main.Label_ProgressBar.SetText("Idle");
    main.ProgressBar_main.SetValue(0);
  } catch (...) {
    // Only a fault outside Word's calls gets here; the window still ends idle.
    main.G.SuppressClickEvents = false;
    main.Label_ProgressBar.SetText("Idle");
    main.ProgressBar_main.SetValue(0);
  }
}

}  // namespace ravel
