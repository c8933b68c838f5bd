// The adapter to Word and the stand-in's COM server, through real COM: the stand-in runs in
// its own process, as Word does, registered under Word's class ids.
#include <gtest/gtest.h>

#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>

#include <cstdio>
#include <functional>
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

// Every member the program reads, of every item of the active document.
std::vector<std::string> Snapshot(WordApp& word) {
  std::vector<std::string> out;
  auto note = [&](const std::string& what, const std::function<Value()>& get) {
    Note(out, what, get);
  };
  WObjectPtr doc = AsObject(word.Global()->Get("ActiveDocument"));
  note("Name", [&] { return doc->Get("Name"); });
  note("Path", [&] { return doc->Get("Path"); });
  for (const char* which : {"InlineShapes", "Shapes"}) {
    WObjectPtr shapes = AsObject(doc->Get(which));
    int count = AsLong(shapes->Get("Count"));
    out.push_back(std::string(which) + " " + std::to_string(count));
    for (int i = 1; i <= count; ++i) {
      Shape shape(AsObject(shapes->Call("Item", {Value(std::int32_t{i})})));
      std::string at = std::string(which) + "(" + std::to_string(i) + ").";
      note(at + "Type", [&] { return shape.Object()->Get("Type"); });
      for (const char* m :
           {"Type", "SourceName", "SourceFullName", "SavePictureWithDocument", "Locked"})
        note(at + "LinkFormat." + m,
             [&] { return AsObject(shape.Object()->Get("LinkFormat"))->Get(m); });
      note(at + "OLEFormat.ClassType", [&] { return Value(shape.OleClassType()); });
      note(at + "Name", [&] { return Value(shape.Name()); });
      for (int p = 0; p <= static_cast<int>(Prop::WrapType); ++p)
        note(at + PathOf(static_cast<Prop>(p)), [&] { return shape.Get(static_cast<Prop>(p)); });
    }
  }
  return out;
}

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

TEST(ComValue, KeepsEachTypeOfWordAcrossTheRoundTrip) {
  const std::string name =
      "\xC3\x9C"
      "bersicht \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.doc";
  for (const Value& v : {Value{}, Value{true}, Value{false}, Value{std::int32_t{-7}}, Value{2.5f},
                         Value{-0.125}, Value{name}, Value{std::string()}}) {
    Value back = RoundTrip(v);
    EXPECT_EQ(back.index(), v.index());
    EXPECT_TRUE(back == v);
  }
}

TEST(ComValue, ReadsEveryIntegerTypeAsLongAndTheRestAsWordGivesIt) {
  LONG target = 42;
  struct Case {
    void (*set)(VARIANT&, LONG*);
    Value expected;
  };
  const Case cases[] = {
      {[](VARIANT& v, LONG*) { v.vt = VT_I1, v.cVal = -5; }, Value(std::int32_t{-5})},
      {[](VARIANT& v, LONG*) { v.vt = VT_UI1, v.bVal = 200; }, Value(std::int32_t{200})},
      {[](VARIANT& v, LONG*) { v.vt = VT_I2, v.iVal = -30000; }, Value(std::int32_t{-30000})},
      {[](VARIANT& v, LONG*) { v.vt = VT_UI2, v.uiVal = 60000; }, Value(std::int32_t{60000})},
      {[](VARIANT& v, LONG*) { v.vt = VT_INT, v.intVal = -123456; }, Value(std::int32_t{-123456})},
      {[](VARIANT& v, LONG*) { v.vt = VT_UI4, v.ulVal = 7; }, Value(std::int32_t{7})},
      // Beyond a Long nothing is cut off.
      {[](VARIANT& v, LONG*) { v.vt = VT_UI4, v.ulVal = 0xFFFFFFFFu; }, Value(4294967295.0)},
      {[](VARIANT& v, LONG*) { v.vt = VT_BOOL, v.boolVal = VARIANT_TRUE; }, Value(true)},
      {[](VARIANT& v, LONG*) { v.vt = VT_NULL; }, Value()},
      {[](VARIANT& v, LONG*) { v.vt = VT_ERROR, v.scode = DISP_E_PARAMNOTFOUND; }, Value()},
      {[](VARIANT& v, LONG*) { v.vt = VT_DATE, v.date = 2.5; }, Value(2.5)},
      // A reference is read through to its value.
      {[](VARIANT& v, LONG* t) { v.vt = VT_BYREF | VT_I4, v.plVal = t; }, Value(std::int32_t{42})},
  };
  for (const Case& c : cases) {
    VARIANT v;
    VariantInit(&v);
    c.set(v, &target);
    EXPECT_EQ(Describe(FromVariant(v)), Describe(c.expected)) << "type " << v.vt;
  }
}

TEST(ComValue, RefusesWhatWordNeverSendsWithATypeMismatch) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ERROR;
  v.scode = E_FAIL;
  try {
    FromVariant(v);
    FAIL() << "no error";
  } catch (const WordError& e) {
    EXPECT_EQ(e.Code(), DISP_E_TYPEMISMATCH);
    EXPECT_NE(std::string(e.Description()).find("Type mismatch"), std::string::npos);
  }
  SAFEARRAY* arr = SafeArrayCreateVector(VT_I4, 0, 2);
  ASSERT_NE(arr, nullptr);
  Variant a;
  a->vt = VT_ARRAY | VT_I4;
  a->parray = arr;
  EXPECT_THROW(FromVariant(*a.get()), WordError);
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
    try {
      word.Global();
      FAIL() << "no error";
    } catch (const WordError& e) {
      std::string text = e.Description();
      EXPECT_EQ(text.rfind("Microsoft Word is not available: ", 0), 0u) << text;
      EXPECT_GT(text.size(), std::string("Microsoft Word is not available: ").size());
      EXPECT_EQ(e.Code(), REGDB_E_CLASSNOTREG);
    }
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
}

TEST_F(ComTest, AFixtureThatCannotBeLoadedLeavesWordWithoutADocument) {
  for (const char* name : {"com-no-such-file.json", "com-broken.json"}) {
    std::string path = FixturePath(name);
    std::string expected = ErrorOf([&] {
      try {
        sim::LoadWordFixtureFile(path);
      } catch (const sim::FixtureError& e) {
        throw WordError(e.what());
      }
    });
    ASSERT_NE(expected, "(no error)") << name;

    UseFixture(path);
    ComWord word;
    EXPECT_EQ(ErrorOf([&] { ActiveDocument(word); }), expected);
    EXPECT_EQ(ErrorOf([&] { word.Global()->Call("ActiveDocument"); }), expected);
    // The program reads no document then.
    InventoryRead read(word, true);
    EXPECT_EQ(read.main.Text_DocumentName.Text(), "No Document Available") << name;
    EXPECT_EQ(read.g.ItemCount, 0) << name;
    EndStandIns();
  }
}

TEST_F(ComTest, TheServerMatchesNamesWithoutCaseAndRefusesMalformedCalls) {
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

  UINT count = 9;
  EXPECT_EQ(app->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);

  DISPPARAMS none{};
  Variant result;
  EXPECT_EQ(
      app->Invoke(987654, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.get(), nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  // A put needs its value as the named argument DISPID_PROPERTYPUT.
  Variant value;
  value->vt = VT_I4;
  value->lVal = 1;
  DISPPARAMS unnamed{value.get(), nullptr, 1, 0};
  EXPECT_TRUE(FAILED(
      app->Invoke(ia, IID_NULL, 0, DISPATCH_PROPERTYPUT, &unnamed, nullptr, nullptr, nullptr)));

  // Without EXCEPINFO the call still fails (across processes the marshaller always asks
  // for one, so the code may be DISP_E_EXCEPTION); with it, Word's description comes too.
  HRESULT bare =
      app->Invoke(ia, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.get(), nullptr, nullptr);
  EXPECT_TRUE(FAILED(bare));
  EXCEPINFO ei{};
  EXPECT_EQ(app->Invoke(ia, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.get(), &ei, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_STREQ(ei.bstrSource, L"Microsoft Word");
  EXPECT_GT(SysStringLen(ei.bstrDescription), 0u);
  EXPECT_TRUE(FAILED(ei.scode));
  SysFreeString(ei.bstrSource);
  SysFreeString(ei.bstrDescription);
  SysFreeString(ei.bstrHelpFile);
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
  EXPECT_EQ(CompareStringOrdinal(RegText(HKEY_CURRENT_USER, global + L"\\LocalServer32").c_str(),
                                 -1, exe.c_str(), -1, TRUE),
            CSTR_EQUAL);
  EXPECT_EQ(CompareStringOrdinal(RegText(HKEY_CURRENT_USER, app + L"\\LocalServer32").c_str(), -1,
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

TEST_F(ComDocumentTest, ReadsEveryMemberExactlyAsTheStandInAnswersItAskingEachNameOnce) {
  auto local = sim::LoadWordFixtureFile(path_);
  std::vector<std::string> direct = Snapshot(*local);
  ComWord word;
  word.Global();  // loads the server; making the global object asks no names
  long server_before = ServerLookups();
  ASSERT_GE(server_before, 0);
  ASSERT_GT(direct.size(), 100u);
  EXPECT_EQ(Snapshot(word), direct);
  long asked = word.NameLookups();
  EXPECT_GT(asked, 0);
  EXPECT_EQ(ServerLookups() - server_before, asked) << "one round trip per lookup";
  // The second read asks for no names.
  EXPECT_EQ(Snapshot(word), direct);
  EXPECT_EQ(word.NameLookups(), asked);
  EXPECT_EQ(ServerLookups() - server_before, asked);
}

TEST_F(ComDocumentTest, NamesFailuresAndMissingItemsArriveAsWordGivesThem) {
  ComWord word;
  Document doc = ActiveDocument(word);
  EXPECT_EQ(doc.Name(),
            "\xC3\x9C"
            "bersicht \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.doc");
  Shapes inline_shapes = doc.InlineShapes();
  LinkFormat link = inline_shapes.Item(1).Link();
  EXPECT_EQ(link.SourceName(), "\xC3\x84rger \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.gif");
  // Written and read back; the stand-in derives the file name from what arrived.
  const std::string moved = "D:\\\xE5\x9B\xBE\xE7\x89\x87\\\xD0\x96\xD1\x83\xD0\xBA.gif";
  link.SetSourceFullName(moved);
  EXPECT_EQ(link.SourceFullName(), moved);
  EXPECT_EQ(link.SourceName(), "\xD0\x96\xD1\x83\xD0\xBA.gif");

  // A failing member: Word's own description, and the object goes on answering the others.
  std::int32_t code = 0;
  EXPECT_EQ(ErrorOf([&] { inline_shapes.Item(2).Link().SourceFullName(); }, &code),
            "Die Verkn\xC3\xBCpfung ist nicht verf\xC3\xBCgbar \xE2\x80\x93 "
            "\xD0\x96\xD1\x83\xD0\xBA.");
  EXPECT_LT(code, 0) << "an HRESULT";
  EXPECT_EQ(inline_shapes.Item(2).Link().SourceName(), "t.xls");

  int count = inline_shapes.Count();
  for (int bad : {0, count + 1, -3})
    EXPECT_EQ(ErrorOf([&] { inline_shapes.Item(bad); }), sim::kNoSuchMember) << bad;
  EXPECT_EQ(inline_shapes.Item(count).Link().SourceName(), "rel.gif");
}

TEST_F(ComDocumentTest, PutsAndMethodArgumentsArriveWithTheirTypesInTheirOrder) {
  ComWord word;
  Shape shape = ActiveDocument(word).InlineShapes().Item(1);
  LinkFormat link = shape.Link();

  link.SetSourceFullName("C:\\New\\a.gif");
  EXPECT_EQ(ServerPutType(L"SourceFullName"), VT_BSTR);
  EXPECT_EQ(link.SourceFullName(), "C:\\New\\a.gif");

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

TEST_F(ComDocumentTest, TheInventoryThroughComEqualsTheInventoryReadDirectly) {
  ComWord word;
  for (bool hidden : {false, true}) {
    auto local = sim::LoadWordFixtureFile(path_);
    std::vector<std::string> direct = InventoryRead(*local, hidden).Lines();
    ASSERT_GT(direct.size(), 8u);
    EXPECT_EQ(InventoryRead(word, hidden).Lines(), direct) << "hidden objects " << hidden;
  }
  // Reading again costs no name lookups.
  long asked = word.NameLookups();
  InventoryRead again(word, true);
  EXPECT_EQ(word.NameLookups(), asked);
}
