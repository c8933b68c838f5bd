// JSON fixtures for the Word stand-in (format in docs/word-fixtures.md). A shape's members
// are Word's member names; each one's kind (Long, Single, Boolean, String, sub-object) is the
// kind of Word's default for it, so a fixture states only what matters and a value of the
// wrong kind is reported with its place.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/SimWord.h"

namespace ravel::sim {

using nlohmann::json;

namespace {

bool SameName(std::string_view a, std::string_view b) {
  NoCaseLess less;
  return !less(a, b) && !less(b, a);
}

// A member of a JSON object, its key compared without case as automation compares names.
const json* Member(const json& obj, std::string_view key) {
  for (auto it = obj.begin(); it != obj.end(); ++it)
    if (SameName(it.key(), key)) return &it.value();
  return nullptr;
}

std::string Shown(const json& v) {
  std::string s = v.dump();
  if (s.size() > 40) s = s.substr(0, 37) + "...";
  return s;
}

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw FixtureError(where + ": " + what);
}

const char* const kParts[] = {"LinkFormat", "OLEFormat", "PictureFormat", "WrapFormat",
                              "Fill",       "Line",      "Shadow",        "Hyperlink"};

bool IsPartName(std::string_view key) {
  return std::any_of(std::begin(kParts), std::end(kParts),
                     [&](const char* p) { return SameName(p, key); });
}

// The text after json's "[json.exception.parse_error.101] " prefix.
std::string ParseMessage(const std::exception& e) {
  std::string m = e.what();
  auto k = m.find("] ");
  return k == std::string::npos ? m : m.substr(k + 2);
}

json Parse(const std::string& text) {
  try {
    return json::parse(text, nullptr, true, /*ignore_comments=*/true);
  } catch (const json::exception& e) {
    throw FixtureError("not valid JSON: " + ParseMessage(e));
  }
}

}  // namespace

class FixtureLoader {
 public:
  FixtureLoader(SimWord& word, const std::map<std::string, std::string>& vars)
      : w_(word), vars_(vars) {}

  void Root(const json& root) {
    if (!root.is_object()) Fail("fixture", "expected an object with \"documents\"");
    for (auto it = root.begin(); it != root.end(); ++it)
      if (!Ignored(it.key()) && !SameName(it.key(), "documents") && !SameName(it.key(), "active") &&
          !SameName(it.key(), "faults"))
        Fail(it.key(), "unknown member (expected \"documents\", \"active\" or \"faults\")");

    if (const json* docs = Member(root, "documents")) {
      if (!docs->is_array()) Fail("documents", "expected an array of documents");
      for (const json& d : *docs) Document(d);
    }
    int count = w_.DocumentCount();
    int active = count > 0 ? 1 : 0;
    if (const json* a = Member(root, "active")) {
      if (!a->is_number_integer() || a->get<long long>() < 0 || a->get<long long>() > count)
        Fail("active", "expected a document number from 0 (none open) to " + std::to_string(count) +
                           ", got " + Shown(*a));
      active = a->get<int>();
    }
    w_.SetActive(active);
    if (const json* faults = Member(root, "faults")) {
      if (!faults->is_array()) Fail("faults", "expected an array of faults");
      int k = 0;
      for (const json& f : *faults) Fault(f, "faults[" + std::to_string(k++) + "]");
    }
  }

  SimObjectPtr Shape(int doc, bool floating, const json& j, const std::string& where) {
    if (!j.is_object()) Fail(where, "expected an object (a shape), got " + Shown(j));
    auto s = w_.MakeShape(floating, TypeOf(j, floating, where));
    Members(*s, s, j, where);
    // Unless stated, the picture's original size is what shows now plus what is cropped.
    for (const char* side : {"Height", "Width"}) {
      std::string original = std::string("@Original") + side;
      if (Member(j, original) != nullptr || !s->Has(side)) continue;
      bool vertical = SameName(side, "Height");
      double cut = 0;
      if (s->Has("PictureFormat"))
        if (auto pf = std::dynamic_pointer_cast<SimObject>(AsObject(s->At("PictureFormat"))))
          for (const char* c :
               {vertical ? "CropTop" : "CropLeft", vertical ? "CropBottom" : "CropRight"})
            if (pf->Has(c)) cut += AsNumber(pf->At(c));
      s->Set(original, Value(static_cast<float>(AsNumber(s->At(side)) + cut)));
    }
    w_.Append(doc, floating, s);
    if (const json* p = Member(j, "@Paragraph")) {
      int k = static_cast<int>(Long(*p, where + ".@Paragraph"));
      if (k < 1 || k > w_.ParagraphCount(doc))
        Fail(where + ".@Paragraph", "expected a paragraph number from 1 to " +
                                        std::to_string(w_.ParagraphCount(doc)) + ", got " +
                                        Shown(*p));
      w_.AnchorShape(doc, s, k);
    }
    return s;
  }

 private:
  static bool Ignored(const std::string& key) { return !key.empty() && key[0] == '_'; }

  void Document(const json& d) {
    std::string where = "Documents(" + std::to_string(w_.DocumentCount() + 1) + ")";
    if (!d.is_object()) Fail(where, "expected an object (a document), got " + Shown(d));
    std::string name = "Document1", path;
    for (auto it = d.begin(); it != d.end(); ++it) {
      const std::string& key = it.key();
      if (Ignored(key) || SameName(key, "InlineShapes") || SameName(key, "Shapes") ||
          SameName(key, "Paragraphs") || SameName(key, "Selection") || SameName(key, "Tables"))
        continue;
      if (SameName(key, "Name"))
        name = Text(it.value(), where + ".Name");
      else if (SameName(key, "Path"))
        path = Text(it.value(), where + ".Path");
      else
        Fail(where + "." + key,
             "unknown member (a document has Name, Path, Paragraphs, Selection, Tables, "
             "InlineShapes and Shapes)");
    }
    int doc = w_.AddDocument(name, path);
    if (const json* ps = Member(d, "Paragraphs")) Paragraphs(doc, *ps, where + ".Paragraphs");
    if (const json* t = Member(d, "Tables")) {
      long n = Long(*t, where + ".Tables");
      if (n < 0) Fail(where + ".Tables", "expected a number of tables from 0 on, got " + Shown(*t));
      w_.SetTableCount(doc, static_cast<int>(n));
    }
    if (const json* sel = Member(d, "Selection")) {
      long k = Long(*sel, where + ".Selection");
      if (k < 1 || k > w_.ParagraphCount(doc))
        Fail(where + ".Selection", "expected a paragraph number from 1 to " +
                                       std::to_string(w_.ParagraphCount(doc)) + ", got " +
                                       Shown(*sel));
      w_.SetSelectionParagraph(doc, static_cast<int>(k));
    }
    for (bool floating : {false, true}) {
      const char* which = floating ? "Shapes" : "InlineShapes";
      const json* list = Member(d, which);
      if (list == nullptr) continue;
      if (!list->is_array()) Fail(where + "." + which, "expected an array of shapes");
      int k = 0;
      for (const json& s : *list)
        Shape(doc, floating, s, where + "." + which + "(" + std::to_string(++k) + ")");
    }
  }

  void Paragraphs(int doc, const json& list, const std::string& where) {
    if (!list.is_array() || list.empty())
      Fail(where, "expected an array of at least one paragraph");
    std::vector<SimParagraph> out;
    for (const json& p : list) {
      std::string place = where + "(" + std::to_string(out.size() + 1) + ")";
      if (!p.is_object()) Fail(place, "expected an object (a paragraph), got " + Shown(p));
      SimParagraph para;
      for (auto it = p.begin(); it != p.end(); ++it) {
        const std::string& key = it.key();
        if (Ignored(key)) continue;
        if (SameName(key, "Page")) {
          para.page = static_cast<int>(Long(it.value(), place + ".Page"));
          if (para.page < 1) Fail(place + ".Page", "expected a page from 1 on");
        } else if (SameName(key, "Top") || SameName(key, "ColumnLeft")) {
          if (!it.value().is_number())
            Fail(place + "." + key, "expected a number, got " + Shown(it.value()));
          (SameName(key, "Top") ? para.top : para.column_left) = it.value().get<float>();
        } else {
          Fail(place + "." + key, "unknown member (a paragraph has Page, Top and ColumnLeft)");
        }
      }
      out.push_back(para);
    }
    w_.SetParagraphs(doc, std::move(out));
  }

  void Fault(const json& f, const std::string& where) {
    if (!f.is_object()) Fail(where, "expected an object (a fault), got " + Shown(f));
    std::string object, member, description = "Word could not do that.";
    Access access = Access::Get;
    bool once = false, have_object = false, have_member = false;
    long after = -1;
    for (auto it = f.begin(); it != f.end(); ++it) {
      const std::string& key = it.key();
      std::string place = where + "." + key;
      if (Ignored(key)) continue;
      if (SameName(key, "object")) {
        object = Text(it.value(), place);
        have_object = true;
      } else if (SameName(key, "member")) {
        member = Text(it.value(), place);
        have_member = true;
      } else if (SameName(key, "after")) {
        after = Long(it.value(), place);
        if (after < 0)
          Fail(place, "expected a number of calls from 0 on, got " + Shown(it.value()));
      } else if (SameName(key, "description")) {
        description = Text(it.value(), place);
      } else if (SameName(key, "access")) {
        std::string a = Text(it.value(), place);
        if (SameName(a, "get"))
          access = Access::Get;
        else if (SameName(a, "put"))
          access = Access::Put;
        else if (SameName(a, "call"))
          access = Access::Call;
        else
          Fail(place, "expected \"get\", \"put\" or \"call\", got " + Shown(it.value()));
      } else if (SameName(key, "repeat")) {
        std::string r = Text(it.value(), place);
        if (!SameName(r, "once") && !SameName(r, "always"))
          Fail(place, "expected \"once\" or \"always\", got " + Shown(it.value()));
        once = SameName(r, "once");
      } else {
        Fail(place,
             "unknown member (a fault has object, member, access, repeat, description, or "
             "after)");
      }
    }
    if (after >= 0) {
      if (have_object || have_member)
        Fail(where, "\"after\" counts calls to any object: give it without object and member");
      w_.FailAfter(after, once, description);
      return;
    }
    if (!have_object) Fail(where, "missing \"object\" (the label of the failing object)");
    if (!have_member) Fail(where, "missing \"member\" (the failing property or method)");
    w_.AddFault(object, member, access, once, description);
  }

  // The shape's Type, or Word's type for what the fixture describes: a link makes a linked
  // picture or object, an OLEFormat alone an embedded object, nothing an embedded picture.
  int TypeOf(const json& j, bool floating, const std::string& where) {
    if (const json* t = Member(j, "Type")) return static_cast<int>(Long(*t, where + ".Type"));
    const json* link = Member(j, "LinkFormat");
    const json* ole = Member(j, "OLEFormat");
    if (link != nullptr && link->is_null()) link = nullptr;
    if (ole != nullptr && ole->is_null()) ole = nullptr;
    if (link != nullptr) {
      int lt = ole != nullptr ? 0 : 1;
      if (link->is_object())
        if (const json* t = Member(*link, "Type"))
          lt = static_cast<int>(Long(*t, where + ".LinkFormat.Type"));
      if (lt == 1) return floating ? 11 : 4;
      return floating ? 10 : 2;
    }
    if (ole != nullptr) return floating ? 7 : 1;
    return floating ? 13 : 3;
  }

  void Members(SimObject& obj, const SimObjectPtr& shape, const json& j, const std::string& where) {
    bool is_link = SameName(obj.Label().substr(obj.Label().find_last_of('.') + 1), "LinkFormat");
    bool full_given = false, name_given = false, path_given = false;
    for (auto it = j.begin(); it != j.end(); ++it) {
      const std::string& key = it.key();
      const json& v = it.value();
      if (Ignored(key)) continue;
      std::string place = where + "." + key;
      if (obj.Has(key)) {
        const Value& cur = obj.At(key);
        if (std::holds_alternative<WObjectPtr>(cur)) {
          if (v.is_null()) {
            obj.Erase(key);
          } else if (v.is_object()) {
            auto part = std::dynamic_pointer_cast<SimObject>(std::get<WObjectPtr>(cur));
            Members(*part, shape, v, place);
          } else {
            Fail(place, "expected an object or null, got " + Shown(v));
          }
          continue;
        }
        obj.Set(key, Convert(cur, v, place));
        if (is_link) {
          full_given = full_given || SameName(key, "SourceFullName");
          name_given = name_given || SameName(key, "SourceName");
          path_given = path_given || SameName(key, "SourcePath");
        }
      } else if (&obj == shape.get() && IsPartName(key) && (v.is_object() || v.is_null())) {
        if (v.is_null()) continue;  // absent already, as stated
        auto part = w_.MakePart(shape, key);
        Members(*part, shape, v, place);
      } else {
        Fail(place, "unknown member");
      }
    }
    if (is_link && full_given) {
      std::string full = AsText(obj.At("SourceFullName"));
      auto k = full.find_last_of('\\');
      if (!name_given)
        obj.Set("SourceName", Value(k == std::string::npos ? full : full.substr(k + 1)));
      if (!path_given)
        obj.Set("SourcePath", Value(k == std::string::npos ? std::string() : full.substr(0, k)));
    }
  }

  Value Convert(const Value& cur, const json& v, const std::string& place) {
    if (std::holds_alternative<std::int32_t>(cur)) return Value(Long(v, place));
    if (std::holds_alternative<float>(cur)) {
      if (!v.is_number()) Fail(place, "expected a number, got " + Shown(v));
      return Value(v.get<float>());
    }
    if (std::holds_alternative<bool>(cur)) {
      if (!v.is_boolean()) Fail(place, "expected true or false, got " + Shown(v));
      return Value(v.get<bool>());
    }
    if (std::holds_alternative<double>(cur)) {
      if (!v.is_number()) Fail(place, "expected a number, got " + Shown(v));
      return Value(v.get<double>());
    }
    return Value(Text(v, place));
  }

  // A Long; true and false stand for Word's tri-state -1 and 0.
  std::int32_t Long(const json& v, const std::string& place) {
    if (v.is_boolean()) return v.get<bool>() ? -1 : 0;
    if (v.is_number_integer()) {
      bool fits = v.is_number_unsigned()
                      ? v.get<unsigned long long>() <= static_cast<unsigned long long>(
                                                           std::numeric_limits<std::int32_t>::max())
                      : v.get<long long>() >= std::numeric_limits<std::int32_t>::min() &&
                            v.get<long long>() <= std::numeric_limits<std::int32_t>::max();
      if (!fits) Fail(place, "number out of range: " + Shown(v));
      return static_cast<std::int32_t>(v.get<long long>());
    }
    Fail(place, "expected a whole number, got " + Shown(v));
  }

  // A text with its "{{NAME}}" variables replaced.
  std::string Text(const json& v, const std::string& place) {
    if (!v.is_string()) Fail(place, "expected a text, got " + Shown(v));
    std::string s = v.get<std::string>(), out;
    std::size_t i = 0;
    while (i < s.size()) {
      auto open = s.find("{{", i);
      if (open == std::string::npos) break;
      auto close = s.find("}}", open + 2);
      if (close == std::string::npos) Fail(place, "\"{{\" without \"}}\" in " + Shown(v));
      std::string name = s.substr(open + 2, close - open - 2);
      auto var = vars_.find(name);
      if (var == vars_.end()) {
        std::string known;
        for (const auto& [k, x] : vars_) known += (known.empty() ? "" : ", ") + k;
        Fail(place, "unknown variable {{" + name +
                        "}} (known: " + (known.empty() ? std::string("none") : known) + ")");
      }
      out += s.substr(i, open - i) + var->second;
      i = close + 2;
    }
    return out + s.substr(std::min(i, s.size()));
  }

  SimWord& w_;
  const std::map<std::string, std::string>& vars_;
};

SimObjectPtr SimWord::AddShape(int doc, const std::string& which, const std::string& json_text) {
  Check(doc);
  bool floating = SameName(which, "Shapes");
  if (!floating && !SameName(which, "InlineShapes"))
    throw FixtureError("no shape collection named " + which);
  std::map<std::string, std::string> none;
  FixtureLoader loader(*this, none);
  std::string where = "Documents(" + std::to_string(doc) + ")." +
                      (floating ? "Shapes" : "InlineShapes") + "(" +
                      std::to_string(ShapeCount(doc, which) + 1) + ")";
  json j;
  try {
    j = Parse(json_text);
  } catch (const FixtureError& e) {
    throw FixtureError(where + ": " + e.what());
  }
  return loader.Shape(doc, floating, j, where);
}

std::shared_ptr<SimWord> LoadWordFixture(const std::string& json_text,
                                         const std::map<std::string, std::string>& vars) {
  json root = Parse(json_text);
  auto word = std::make_shared<SimWord>();
  FixtureLoader(*word, vars).Root(root);
  return word;
}

namespace {

std::filesystem::path FsPath(const std::string& utf8) {
  std::u8string u(utf8.begin(), utf8.end());
  return std::filesystem::path(u);
}

std::string Utf8Of(const std::filesystem::path& p) {
  std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

bool IsWindowsForm(const std::string& path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
    return true;
  return path.rfind("\\\\", 0) == 0 || (path.find('\\') != std::string::npos && path[0] != '/');
}

}  // namespace

std::string FixtureDirOf(const std::string& path) {
  std::string p;
  if (IsWindowsForm(path)) {
    p = path;
  } else {
    std::error_code ec;
    auto abs = std::filesystem::absolute(FsPath(path), ec);
    p = Utf8Of(ec ? FsPath(path) : abs.lexically_normal());
#ifndef _WIN32
    // Wine shows the host's / as drive Z:.
    p = "Z:" + p;
#endif
  }
  std::replace(p.begin(), p.end(), '/', '\\');
  auto k = p.rfind('\\');
  return k == std::string::npos ? std::string() : p.substr(0, k);
}

std::shared_ptr<SimWord> LoadWordFixtureFile(const std::string& path,
                                             std::map<std::string, std::string> vars) {
  std::error_code ec;
  std::ifstream in(FsPath(path), std::ios::binary);
  if (!in || std::filesystem::is_directory(FsPath(path), ec))
    throw FixtureError(path + ": cannot read the fixture file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw FixtureError(path + ": cannot read the fixture file");
  if (vars.find("FIXTURE_DIR") == vars.end()) vars["FIXTURE_DIR"] = FixtureDirOf(path);
  try {
    return LoadWordFixture(text.str(), vars);
  } catch (const FixtureError& e) {
    throw FixtureError(path + ": " + e.what());
  }
}

}  // namespace ravel::sim
