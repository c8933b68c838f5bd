// The adapter to Word and the stand-in's COM server, through real COM: the stand-in runs in
// its own process, as Word does, registered under Word's class ids.
#include <gtest/gtest.h>

#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>
#include <olectl.h>

#include <bit>
#include <string>
#include <vector>

#include "app/Form_Main.h"
#include "inventory/Inventory.h"
#include "inventory/Word.h"
#include "sim/MemoryFileSystem.h"
#include "sim/ScriptedHost.h"
#include "sim/SimWord.h"
#include "win32/common/ComPtr.h"
#include "win32/common/ComValue.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"
#include "win_support.h"
#include "word_snapshot.h"

using namespace ravel;
using namespace ravel::wintest;
using ravel::win::ComPtr;
using ravel::win::ComWord;
using ravel::win::Variant;

namespace {

// The fixture folder in Windows form (Wine maps Z: onto /).
std::string FixturePath(const std::string& name) {
  return WindowsPath(std::string(RAVEL_FIXTURES) + "/" + name);
}

// What the running stand-in counted, asked through the test's own connection.
long ServerLookups() {
  return AsLong(AskRunningWord("StandInLookups"));
}

int ServerPutType(const wchar_t* member) {
  return AsLong(AskRunningWord("StandInPutType", {Value(win::Narrow(member))}));
}

using ComTest = StandInTest;

Value RoundTrip(const Value& v) {
  Variant var;
  win::ToVariant(v, var.get(), [](const WObjectPtr&) -> IDispatch* { return nullptr; });
  return win::ValueOf(*var.get(), [](IDispatch*) -> WObjectPtr { return nullptr; });
}

Value FromVariant(const VARIANT& v) {
  return win::ValueOf(v, [](IDispatch*) -> WObjectPtr { return nullptr; });
}

}  // namespace

// --- VARIANT <-> Value, without a server ---

TEST(ComValue, KeepsEachTypeOfWordAcrossTheRoundTripAndNamesInAnyScript) {
  const std::string name =
      "\xC3\x9C"
      "bersicht \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.doc";
  for (const Value& v : {Value{}, Value{true}, Value{false}, Value{std::int32_t{-7}}, Value{2.5f},
                         Value{-0.125}, Value{name}, Value{std::string()}}) {
    Value back = RoundTrip(v);
    EXPECT_EQ(back.index(), v.index());
    EXPECT_TRUE(back == v);
  }
  // Word's UTF-16, not only a round trip that a consistent mistake would pass.
  EXPECT_EQ(win::Widen(name), L"\u00DCbersicht \u0416\u0443\u043A \u56FE.doc");
}

// Every integer type is read as a Long and the rest as Word gives it; what Word never sends is
// refused as a type mismatch. Each value is written over the union's low bytes.
TEST(ComValue, ReadsEveryTypeWordSendsAndRefusesTheRest) {
  LONG target = 42;
  SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 0, 2);
  ASSERT_NE(array, nullptr);
  const struct {
    VARTYPE vt;
    LONGLONG bits;
    const char* expected;
  } cases[] = {
      {VT_I1, -5, "Long -5"},
      {VT_UI1, 200, "Long 200"},
      {VT_I2, -30000, "Long -30000"},
      {VT_UI2, 60000, "Long 60000"},
      {VT_INT, -123456, "Long -123456"},
      {VT_UI4, 7, "Long 7"},
      {VT_UI4, 0xFFFFFFFF, "Double 4294967295"},  // beyond a Long nothing is cut off
      {VT_BOOL, VARIANT_TRUE, "Boolean True"},
      {VT_NULL, 0, "Empty"},
      {VT_ERROR, DISP_E_PARAMNOTFOUND, "Empty"},
      {VT_DATE, std::bit_cast<LONGLONG>(2.5), "Double 2.5"},
      {VT_BYREF | VT_I4, reinterpret_cast<LONGLONG>(&target), "Long 42"},  // read through
      {VT_ERROR, E_FAIL, "Type mismatch"},
      {VT_ARRAY | VT_I4, reinterpret_cast<LONGLONG>(array), "Type mismatch"},
  };
  for (const auto& c : cases) {
    VARIANT v;
    VariantInit(&v);
    v.vt = c.vt;
    v.llVal = c.bits;
    std::string got;
    std::int32_t code = 0;
    std::string error = ErrorOf([&] { got = Describe(FromVariant(v)); }, &code);
    if (error != "(no error)") got = error.substr(0, 13) + (code == DISP_E_TYPEMISMATCH ? "" : "?");
    EXPECT_EQ(got, c.expected) << "type " << v.vt;
  }
  SafeArrayDestroy(array);
}

TEST(ComValue, SystemMessagesAreTextsAndUnknownCodesShowTheirNumber) {
  std::string oom = win::SystemMessage(E_OUTOFMEMORY);
  EXPECT_FALSE(oom.empty());
  EXPECT_NE(oom.back(), '\n');
  EXPECT_EQ(win::SystemMessage(REGDB_E_CLASSNOTREG).find("Class not registered"), 0u);
  EXPECT_EQ(win::SystemMessage(static_cast<HRESULT>(0x8FFF1234)), "Error 0x8FFF1234");
}

// --- the adapter and the server together ---

// One read of the program's inventory over a given Word, as lines: the document fields, the
// status, every record and every list row.
struct InventoryRead {
  InventoryRead(WordApp& word, bool hidden) : main(g, word, fs, host) {
    fs.AddFile("C:\\Bilder\\\xC3\x84rger \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.gif");
    main.Check_ShowHiddenObjects.SetValue(hidden ? 1 : 0);
    ReadInventory(main);
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out{main.Text_DocumentName.Text(), main.Text_NewDestPath.Text(),
                                 main.Label_ProgressBar.Text(), std::to_string(g.ItemCount)};
    for (int n = 1; n <= g.ItemCount; ++n) {
      const LinkItem& it = g.LinkTable[static_cast<std::size_t>(n)];
      out.push_back(it.FileName + "|" + it.SourcePath + "|" + TextOf(it.SaveWithDocument) + "|" +
                    TextOf(it.Locked) + "|" + it.TypeText + "|" + TextOf(it.Changed) + "|" +
                    TextOf(it.Selected) + "|" + std::to_string(it.ShapeIndex) + "|" +
                    std::to_string(it.InLine) + "|" + TextOf(it.Hidden));
    }
    for (int n = 1; n <= main.ListView_IS.Count(); ++n) {
      std::string row = "row";
      for (const std::string& cell : main.ListView_IS.RowOf(n).cells) row += "|" + cell;
      out.push_back(row);
    }
    return out;
  }

  Globals g;
  sim::MemoryFileSystem fs;
  sim::ScriptedHost host;
  Form_Main main;
};

TEST_F(ComTest, AClassNobodyServesGivesAReadableErrorAndIsTriedAgain) {
  // {0BADC0DE-0000-4000-8000-0000000000A1}
  const CLSID nobody = {0x0badc0de, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0xa1}};
  ComWord word(nobody, nobody);
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::int32_t code = 0;
    std::string text = ErrorOf([&] { word.Global(); }, &code);
    EXPECT_EQ(text.rfind("Microsoft Word is not available: ", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("Microsoft Word is not available: ").size());
    EXPECT_EQ(code, REGDB_E_CLASSNOTREG);
  }
}

TEST_F(ComTest, WithoutAFixtureWordRunsWithNoDocumentAndSaysSoInItsOwnWords) {
  sim::SimWord local;
  std::int32_t number = 0, code = 0;
  std::string expected = ErrorOf([&] { local.Global()->Get("ActiveDocument"); }, &number);
  ASSERT_NE(expected, "(no error)");

  ComWord word;
  WObjectPtr global = word.Global();
  ASSERT_TRUE(global);
  EXPECT_EQ(word.Global(), global) << "the global object is kept";
  EXPECT_EQ(ErrorOf([&] { ActiveDocument(word); }, &code), expected);
  // Word's error number (0x800A0000 and the number) arrives, not COM's "an exception".
  EXPECT_EQ(code, number);

  // An object Word cannot take (here an OLE font) is named by its place, counted from the
  // first argument as the caller wrote them.
  FONTDESC font_desc{sizeof font_desc,
                     const_cast<LPOLESTR>(L"Arial"),
                     {120000, 0},
                     FW_NORMAL,
                     ANSI_CHARSET,
                     FALSE,
                     FALSE,
                     FALSE};
  ComPtr<IDispatch> font;
  ASSERT_EQ(OleCreateFontIndirect(&font_desc, IID_IDispatch, font.put_void()), S_OK);
  Value foreign(
      WObjectPtr(std::make_shared<win::ComObject>(font, std::make_shared<win::ComSession>(), "")));
  EXPECT_EQ(ErrorOf(
                [&] {
                  global->Call("Documents", {Value(std::int32_t{1}), foreign});
                },
                &code),
            "Type mismatch. (Documents, argument 2)");
  EXPECT_EQ(code, DISP_E_TYPEMISMATCH);
}

// What the adapter relies on, as Word does it: names match without case (one cached id serves
// both), and a put takes its value only as the named argument DISPID_PROPERTYPUT.
TEST_F(ComTest, TheServerMatchesNamesWithoutCaseAndRefusesAnUnnamedPut) {
  ComPtr<IDispatch> app;
  ASSERT_EQ(CoCreateInstance(win::kWordGlobalClsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                             app.put_void()),
            S_OK);
  std::wstring a = L"ActiveDocument", b = L"aCTIVEdOCUMENT";
  LPOLESTR na[1] = {a.data()}, nb[1] = {b.data()};
  DISPID ia = 0, ib = 0;
  ASSERT_EQ(app->GetIDsOfNames(IID_NULL, na, 1, LOCALE_USER_DEFAULT, &ia), S_OK);
  ASSERT_EQ(app->GetIDsOfNames(IID_NULL, nb, 1, LOCALE_USER_DEFAULT, &ib), S_OK);
  EXPECT_EQ(ia, ib);

  Variant value;
  value->vt = VT_I4;
  value->lVal = 1;
  DISPPARAMS unnamed{value.get(), nullptr, 1, 0};
  EXPECT_TRUE(FAILED(
      app->Invoke(ia, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr)));
}

// Runs the stand-in with one switch against a scratch key of the current user instead of
// HKEY_CLASSES_ROOT (the prefix's own registration stays untouched); its exit code.
DWORD RunStandIn(const wchar_t* option, const std::wstring& scratch) {
  SetEnvironmentVariableW(L"RAVELMEND_STANDIN_REGROOT", scratch.c_str());
  std::wstring exe = BuildFolder() + L"\\WordStandIn.exe";
  std::wstring command = L"\"" + exe + L"\" " + option;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  DWORD code = 999;
  if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                     &pi)) {
    WaitForSingleObject(pi.hProcess, kPatienceMs);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  SetEnvironmentVariableW(L"RAVELMEND_STANDIN_REGROOT", nullptr);
  return code;
}

std::wstring RegText(HKEY root, const std::wstring& key) {
  wchar_t text[1024] = {};
  DWORD size = sizeof text - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS)
    return L"(none)";
  return text;
}

TEST_F(ComTest, RegistersAsWordsLocalServerAndRemovesOnlyItsOwnEntries) {
  const std::wstring scratch =
      L"Software\\Ravelmend-com-test-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring global = scratch + L"\\CLSID\\{000209F0-0000-0000-C000-000000000046}";
  const std::wstring app = scratch + L"\\CLSID\\{000209FF-0000-0000-C000-000000000046}";
  const std::wstring progid = scratch + L"\\Word.Application\\CLSID";
  const std::wstring exe = BuildFolder() + L"\\WordStandIn.exe";
  struct Cleanup {
    std::wstring key;
    ~Cleanup() { RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str()); }
  } cleanup{scratch};

  ASSERT_EQ(RunStandIn(L"/RegServer", scratch), 0u);
  for (const std::wstring& key : {global, app})
    EXPECT_EQ(CompareStringOrdinal(RegText(HKEY_CURRENT_USER, key + L"\\LocalServer32").c_str(), -1,
                                   exe.c_str(), -1, TRUE),
              CSTR_EQUAL);
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, progid), L"{000209FF-0000-0000-C000-000000000046}");
  EXPECT_TRUE(StandInProcesses().empty()) << "registering serves nothing";

  // Another server under the same class id (a real Word) is left alone.
  const std::wstring other = L"C:\\Program Files\\Other\\WINWORD.EXE";
  RegSetKeyValueW(HKEY_CURRENT_USER, (global + L"\\LocalServer32").c_str(), nullptr, REG_SZ,
                  other.c_str(), static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(RunStandIn(L"/UnregServer", scratch), 0u);
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, global + L"\\LocalServer32"), other);
  EXPECT_EQ(RegText(HKEY_CURRENT_USER, app + L"\\LocalServer32"), L"(none)");
}

// --- a document served through COM ---

class ComDocumentTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    path_ = FixturePath("com-document.json");
    UseFixture(path_);
  }
  std::string path_;
};

// Every member the program reads, and the inventory made of them, equal what the stand-in
// answers directly; each name is asked once, a read again asks none.
TEST_F(ComDocumentTest, ReadsEveryMemberAndTheInventoryExactlyAsTheStandInAnswers) {
  auto local = sim::LoadWordFixtureFile(path_);
  std::vector<std::string> direct = Snapshot(*local);
  ComWord word;
  word.Global();  // loads the server; making the global object asks no names
  long server_before = ServerLookups();
  ASSERT_GT(direct.size(), 100u);
  EXPECT_EQ(Snapshot(word), direct);
  long asked = word.NameLookups();
  EXPECT_GT(asked, 0);
  EXPECT_EQ(ServerLookups() - server_before, asked) << "one round trip per lookup";
  for (bool hidden : {false, true}) {
    std::vector<std::string> lines =
        InventoryRead(*sim::LoadWordFixtureFile(path_), hidden).Lines();
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(InventoryRead(word, hidden).Lines(), lines) << "hidden objects " << hidden;
  }
  asked = word.NameLookups();
  EXPECT_EQ(Snapshot(word), direct);
  InventoryRead again(word, true);
  EXPECT_EQ(word.NameLookups(), asked);
  EXPECT_EQ(ServerLookups() - server_before, asked);
  // Items beyond the list are refused as Word refuses them.
  Shapes inline_shapes = ActiveDocument(word).InlineShapes();
  for (int bad : {0, inline_shapes.Count() + 1, -3})
    EXPECT_EQ(ErrorOf([&] { inline_shapes.Item(bad); }), sim::kNoSuchMember) << bad;
}

TEST_F(ComDocumentTest, PutsAndMethodArgumentsArriveWithTheirTypesInTheirOrder) {
  ComWord word;
  Shape shape = ActiveDocument(word).InlineShapes().Item(1);
  LinkFormat link = shape.Link();

  // Read back, and the stand-in derives the file name from what arrived.
  const std::string moved = "D:\\\xE5\x9B\xBE\xE7\x89\x87\\\xD0\x96\xD1\x83\xD0\xBA.gif";
  link.SetSourceFullName(moved);
  EXPECT_EQ(ServerPutType(L"SourceFullName"), VT_BSTR);
  EXPECT_EQ(link.SourceFullName(), moved);
  EXPECT_EQ(link.SourceName(), "\xD0\x96\xD1\x83\xD0\xBA.gif");

  link.SetSavePictureWithDocument(false);
  EXPECT_EQ(ServerPutType(L"SavePictureWithDocument"), VT_BOOL);
  EXPECT_EQ(link.SavePictureWithDocument(), false);

  shape.Put(Prop::PictureBrightness, Value(0.75f));
  EXPECT_EQ(ServerPutType(L"Brightness"), VT_R4);
  EXPECT_EQ(Describe(shape.Get(Prop::PictureBrightness)), "Single 0.75");

  Shapes floating = ActiveDocument(word).FloatingShapes();
  floating.Item(1).Put(Prop::WrapType, Value(std::int32_t{4}));
  EXPECT_EQ(ServerPutType(L"Type"), VT_I4);
  EXPECT_EQ(Describe(floating.Item(1).Get(Prop::WrapType)), "Long 4");

  int before = floating.Count();
  std::string picture = WindowsPath(std::string(RAVEL_EXAMPLES) + "/pictures/brand/logo.gif");
  // Linked (true) but not stored (false): swapped, the picture would be embedded.
  floating.AddPicture(picture, true, false);
  ASSERT_EQ(floating.Count(), before + 1);
  LinkFormat added = floating.Item(before + 1).Link();
  EXPECT_EQ(added.SourceFullName(), picture);
  EXPECT_FALSE(added.SavePictureWithDocument());
  // Word reads a picture by its content (the fixture holds none) and refuses a file that is
  // not there; so does the stand-in behind COM.
  EXPECT_EQ(ErrorOf([&] { floating.AddPicture(path_, true, false); }), sim::kUnreadablePicture);
  EXPECT_EQ(
      ErrorOf([&] { floating.AddPicture(FixturePath("com-no-such-picture.gif"), true, false); }),
      sim::kInvalidFileName);
}
