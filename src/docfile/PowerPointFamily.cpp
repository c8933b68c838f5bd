// PresentationML: linked pictures in slides, layouts, masters and notes, linked OLE objects,
// linked audio and video, charts' data in linked workbooks, and hyperlinks and click
// actions that open a file.
#include "docfile/Ooxml.h"

namespace ravel::docfile {

namespace {

using namespace ooxml;

PartKind KindOfPart(const std::string& name) {
  static const std::string_view kSlides[] = {"/slides/",      "/slideLayouts/", "/slideMasters/",
                                             "/notesSlides/", "/notesMasters/", "/handoutMasters/"};
  for (std::string_view folder : kSlides)
    if (name.find(folder) != std::string::npos) return PartKind::Slide;
  if (name.find("/charts/") != std::string::npos) return PartKind::Chart;
  return PartKind::Other;
}

class PowerPointFamily : public OoxmlFamily {
 public:
  void Read(const Package& package, const std::string& folder, std::vector<Link>& links) override {
    Begin(package, folder, links);
    // Links are relationships of the part that uses them: the parts with external ones.
    for (const std::string& name : PartsWithExternalRelationships())
      if (Part* part = LoadPart(name, KindOfPart(name))) ReadPart(*part);
  }

 private:
  void ReadPart(Part& part) {
    ForEachElement(part.doc.document_element(), [&](pugi::xml_node n) {
      std::string_view local = LocalName(n.name());
      if (local == "oleObj" && Is(n, "oleObj", kNsP)) {
        // An object with p:link is linked; its relationship is then an external one.
        Use(part, AttributeNs(n, "id", kNsR).value(), LinkKind::OleObject, false);
      } else if ((local == "audioFile" || local == "videoFile" || local == "quickTimeFile") &&
                 Is(n, local, kNsA)) {
        Use(part, AttributeNs(n, "link", kNsR).value(),
            local == "audioFile" ? LinkKind::LinkedAudio : LinkKind::LinkedVideo, false);
      } else if (local == "media" && Is(n, "media", kNsP14)) {
        UseMedia(part, n);
      } else {
        UseDrawing(part, n, LinkKind::Picture);
      }
    });
  }

  // PowerPoint 2010 and later name a linked sound or film twice: by a:audioFile or
  // a:videoFile, and by the media extension beside it. Both are one link.
  void UseMedia(Part& part, pugi::xml_node media) {
    std::string link = AttributeNs(media, "link", kNsR).value();
    if (link.empty()) link = AttributeNs(media, "embed", kNsR).value();
    pugi::xml_node properties = media.parent().parent().parent();  // p:ext, p:extLst, p:nvPr
    for (pugi::xml_node file : properties.children()) {
      std::string_view local = LocalName(file.name());
      if (!(local == "audioFile" || local == "videoFile" || local == "quickTimeFile") ||
          !Is(file, local, kNsA))
        continue;
      std::optional<std::size_t> index =
          Use(part, AttributeNs(file, "link", kNsR).value(),
              local == "audioFile" ? LinkKind::LinkedAudio : LinkKind::LinkedVideo, false);
      if (index) {
        Attach(*index, part, link, Slot::Same);
        return;
      }
    }
    Use(part, link, LinkKind::LinkedVideo, false);
  }
};

}  // namespace

std::unique_ptr<Family> MakePowerPointFamily() {
  return std::make_unique<PowerPointFamily>();
}

}  // namespace ravel::docfile
