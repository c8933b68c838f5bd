// ravelmend-batch.exe on Windows: what only Windows has (drive letters and shares in links
// and rules, names without case, documents held open, the read-only attribute, long paths
// and names in any script on the command line) against the real program, and the Win32
// store's safe replacement. The command's other cases run natively.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "docfile_support.h"
#include "ravel/Version.h"
#include "win32/batch/Win32Store.h"
#include "win32/common/Utf.h"
#include "win32/common/Win32FileSystem.h"
#include "win_case_support.h"
#include "win_support.h"

namespace ravel {
namespace {

using namespace docfile::test;
using win::Narrow;
using win::Widen;
using win::WidePath;
using wintest::RemoveTree;

// One argument quoted as CommandLineToArgvW reads it back.
std::wstring Quote(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

class BatchExe : public ::testing::Test {
 protected:
  // The folder the test's own folder is made in.
  virtual std::string Parent() const {
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    std::string parent = Narrow(std::wstring(temp, n));
    if (parent.ends_with("\\")) parent.pop_back();
    return parent;
  }
  void SetUp() override {
    static int counter = 0;
    root = Parent() + "\\ravel-batch-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++counter);
    RemoveTree(WidePath(root));
    ASSERT_TRUE(CreateDirectoryW(WidePath(root).c_str(), nullptr)) << root;
    for (const char* d : {"docs", "docs\\sub", "pics", "pics\\a", "pics\\b", "pics\\a\\deep"})
      Folder(d);
    for (const char* f : {"pics\\a\\deep\\one.png", "pics\\a\\two.png", "pics\\b\\TWO.png",
                          "pics\\b\\three.png", "here.png"})
      Write(f, "png");
  }
  void TearDown() override { RemoveTree(WidePath(root)); }

  std::string At(const std::string& rel) const { return root + "\\" + rel; }
  void Folder(const std::string& rel) {
    ASSERT_TRUE(CreateDirectoryW(WidePath(At(rel)).c_str(), nullptr)) << rel;
  }
  void Write(const std::string& rel, const std::string& data) {
    HANDLE h = CreateFileW(WidePath(At(rel)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << rel;
    DWORD put = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    CloseHandle(h);
  }
  std::string Read(const std::string& rel) const {
    HANDLE h = CreateFileW(WidePath(At(rel)).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<none>";
    std::string data;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
    CloseHandle(h);
    return data;
  }
  // A document linking in line to each of the targets.
  void Doc(const std::string& rel, const std::vector<std::string>& targets) {
    std::string markup;
    std::vector<docfile::test::Rel> rels;
    for (std::size_t i = 0; i < targets.size(); ++i) {
      markup += Inline("rId" + std::to_string(i + 1));
      rels.push_back({"rId" + std::to_string(i + 1), kImageType, targets[i]});
    }
    std::vector<std::uint8_t> bytes = Zip(Standard(Body(markup), Rels(rels)));
    Write(rel, std::string(bytes.begin(), bytes.end()));
  }
  std::string RelsOf(const std::string& rel) const {
    std::string data = Read(rel);
    return EntryData(std::vector<std::uint8_t>(data.begin(), data.end()),
                     "word/_rels/document.xml.rels");
  }
  // The names in a folder, sorted.
  std::vector<std::string> Names(const std::string& rel) const {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((WidePath(At(rel)) + L"\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
      std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs ravelmend-batch.exe in the test folder; its output lands in `out` and `err`.
  int Run(const std::vector<std::string>& args) {
    std::wstring exe = wintest::BuildFolder() + L"\\ravelmend-batch.exe";
    std::wstring command = Quote(exe);
    for (const std::string& a : args) command += L" " + Quote(Widen(a));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    // Names of their own: Wine may close a finished child's handles a moment after its end.
    std::string n = std::to_string(++runs);
    std::wstring out_path = Widen(At("out" + n + ".txt")), err_path = Widen(At("err" + n + ".txt"));
    HANDLE out_file = CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE err_file = CreateFileW(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out_file;
    si.hStdError = err_file;
    PROCESS_INFORMATION pi{};
    std::wstring cwd = Widen(root);
    BOOL started = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE,
                                  CREATE_NO_WINDOW, nullptr, cwd.c_str(), &si, &pi);
    CloseHandle(out_file);
    CloseHandle(err_file);
    if (!started) {
      ADD_FAILURE() << "cannot start " << Narrow(exe) << ": " << GetLastError();
      return -1;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(pi.hProcess, &status);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    out = Read("out" + n + ".txt");
    err = Read("err" + n + ".txt");
    return static_cast<int>(status);
  }
  // The records of one type ("link", "skipped", "summary" ...), or all with "".
  std::vector<nlohmann::json> JsonRows(const std::string& type = "link") const {
    std::vector<nlohmann::json> rows;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      nlohmann::json row = nlohmann::json::parse(line);
      if (type.empty() || row["type"] == type) rows.push_back(row);
    }
    return rows;
  }

  std::string root, out, err;
  int runs = 0;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Drive letters, shares and file URIs in links; a document named twice, once in another case,
// is repaired once, and Word's owner file ("~$") beside it is no document.
TEST_F(BatchExe, OneSearchRepairsNativePathsAndNeverGuesses) {
  Doc("docs\\one.docx", {"C:\\old\\x\\one.png", "file:///C:/old/x/two.png"});
  Doc("docs\\sub\\two.docx",
      {"\\\\oldserver\\share\\three.png", "file:///D:/old/four.png", At("here.png")});
  Write("docs\\~$ne.docx", "owner");
  EXPECT_EQ(Run({"fix", "--root", "pics", "DOCS\\SUB\\two.docx", "docs"}), 1) << err;
  // Written in the form the link had, without any drive mapping.
  EXPECT_TRUE(Has(RelsOf("docs\\one.docx"), "Target=\"" + At("pics\\a\\deep\\one.png") + "\""))
      << RelsOf("docs\\one.docx");
  EXPECT_TRUE(Has(RelsOf("docs\\one.docx"), "file:///C:/old/x/two.png"));
  EXPECT_TRUE(Has(RelsOf("docs\\sub\\two.docx"), "Target=\"" + At("pics\\b\\three.png") + "\""));
  EXPECT_TRUE(Has(out, "    candidate: " + At("pics\\a\\two.png"))) << out;
  EXPECT_TRUE(Has(out, "    candidate: " + At("pics\\b\\TWO.png"))) << out;
  EXPECT_TRUE(Has(out,
                  "2 documents, 5 links: 1 ok, 2 fixed, 1 ambiguous, 1 not-found, "
                  "2 documents written"))
      << out;
  // Nothing of the replacement is left beside the documents.
  EXPECT_EQ(Names("docs"), (std::vector<std::string>{"one.docx", "sub", "~$ne.docx"}));
  EXPECT_EQ(Names("docs\\sub"), (std::vector<std::string>{"two.docx"}));
}

TEST_F(BatchExe, PrefixRulesMapDrivesAndShares) {
  Doc("docs\\a.docx", {"C:\\old\\share\\a\\deep\\one.png", "file:///C:/old/share/b/three.png",
                       "\\\\oldserver\\share\\x.png"});
  EXPECT_EQ(Run({"fix", "--json", "--dry-run", "--map", "c:\\OLD\\share=" + At("pics"), "--map",
                 "\\\\oldserver\\share=\\\\newserver\\share", "docs\\a.docx"}),
            1);
  std::vector<nlohmann::json> rows = JsonRows();
  ASSERT_EQ(rows.size(), 3u) << out;
  EXPECT_EQ(rows[0]["state"], "fixed");
  EXPECT_EQ(rows[0]["new_target"], At("pics\\a\\deep\\one.png"));
  EXPECT_EQ(rows[1]["new_file"], At("pics\\b\\three.png"));
  std::string uri = "file:///" + At("pics\\b\\three.png");
  std::replace(uri.begin(), uri.end(), '\\', '/');
  EXPECT_EQ(rows[1]["new_target"], uri);
  EXPECT_EQ(rows[2]["state"], "mapped");
  EXPECT_EQ(rows[2]["new_target"], "\\\\newserver\\share\\x.png");
}

TEST_F(BatchExe, ADocumentOpenElsewhereOrReadOnlyIsReportedAndLeftAlone) {
  for (const char* name : {"held", "owned", "Document1", "free", "readonly"})
    Doc("docs\\" + std::string(name) + ".docx", {"C:\\old\\three.png"});
  // Word holds an open document without letting others write it, and keeps its owner file
  // beside it ("~$" over the name's first characters once it is long).
  HANDLE word = CreateFileW(WidePath(At("docs\\held.docx")).c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(word, INVALID_HANDLE_VALUE);
  Write("docs\\~$owned.docx", "owner");
  Write("docs\\~$cument1.docx", "owner");
  ASSERT_TRUE(
      SetFileAttributesW(WidePath(At("docs\\readonly.docx")).c_str(), FILE_ATTRIBUTE_READONLY));
  std::map<std::string, std::string> before;
  for (const char* name : {"held", "owned", "Document1", "readonly"})
    before[name] = Read("docs\\" + std::string(name) + ".docx");
  EXPECT_EQ(Run({"fix", "--root", "pics", "docs"}), 2);
  CloseHandle(word);
  EXPECT_TRUE(Has(err, "docs\\held.docx: locked")) << err;
  EXPECT_TRUE(Has(err, "docs\\owned.docx: locked: the document is open in Word (~$owned.docx)"))
      << err;
  EXPECT_TRUE(Has(err, "docs\\Document1.docx: locked")) << err;
  EXPECT_TRUE(Has(err, "docs\\readonly.docx: the file is read-only")) << err;
  for (const auto& [name, data] : before) EXPECT_EQ(Read("docs\\" + name + ".docx"), data) << name;
  EXPECT_TRUE(Has(RelsOf("docs\\free.docx"), At("pics\\b\\three.png")));
  // Closed again: the next run repairs it.
  EXPECT_EQ(Run({"fix", "--root", "pics", "docs\\held.docx"}), 0) << err;
  EXPECT_TRUE(Has(RelsOf("docs\\held.docx"), At("pics\\b\\three.png")));
}

TEST_F(BatchExe, LongPathsAndNamesInAnyScript) {
  // Folders deep enough that the document's path is far beyond MAX_PATH.
  std::string deep = "docs";
  for (int i = 0; i < 6; ++i) {
    deep += "\\" + std::string(50, static_cast<char>('a' + i));
    Folder(deep);
  }
  std::string pics = "pics\\Bilder-Übersicht-図";
  Folder(pics);
  Write(pics + "\\Straße-β.png", "png");
  std::string doc = deep + "\\Bericht-Ω-報告.docx";
  Doc(doc, {"C:\\old\\Straße-β.png"});
  ASSERT_GT(At(doc).size(), 300u);
  EXPECT_EQ(Run({"fix", "--root", "pics", "docs"}), 0) << err << out;
  EXPECT_TRUE(Has(RelsOf(doc), At(pics + "\\Straße-β.png"))) << RelsOf(doc);
}

TEST_F(BatchExe, RuleListsIndexesJournalsAndSheetsUnderNamesInAnyScript) {
  const std::string work = "Übersicht-図";
  Folder(work);
  Doc("docs\\a.docx", {"C:\\old\\one.png", "P:\\x\\b c.png"});
  Doc("docs\\b.docx", {"C:\\old\\three.png"});
  Write(work + "\\rules.csv",
        "\xEF\xBB\xBFP:\\x,https://e.sharepoint.com/sites/p/Shared Documents\r\n");
  ASSERT_EQ(Run({"index", "--root", "pics", "--output", work + "\\names.db"}), 0) << err;
  // Made again over the old one: the new index takes its place.
  Write("pics\\b\\four.png", "png");
  ASSERT_EQ(Run({"index", "--root", "pics", "--output", work + "\\names.db"}), 0) << err;
  EXPECT_TRUE(Has(out, "5 files in 3 folders")) << out;
  const std::vector<std::string> fix = {"fix",        "--json",
                                        "--map-file", work + "\\rules.csv",
                                        "--index",    work + "\\names.db",
                                        "--journal",  work + "\\run.db",
                                        "--csv",      work + "\\links.csv",
                                        "docs"};
  EXPECT_EQ(Run(fix), 1) << err;
  std::vector<nlohmann::json> rows = JsonRows();
  ASSERT_EQ(rows.size(), 3u) << out;
  EXPECT_EQ(rows[0]["new_file"], At("pics\\a\\deep\\one.png"));
  EXPECT_EQ(rows[1]["new_target"], "https://e.sharepoint.com/sites/p/Shared%20Documents/b%20c.png");
  EXPECT_TRUE(Read(work + "\\links.csv").starts_with("\xEF\xBB\xBFtype,document,"));
  EXPECT_TRUE(Has(Read(work + "\\links.summary.csv"), "written,2"));
  // Again: the journal, opened under its name, says both are done.
  EXPECT_EQ(Run(fix), 1) << err;
  EXPECT_EQ(JsonRows("summary").at(0)["done_earlier"], 2);
}

// What Explorer's Details tab and installers read: both programs carry the one version.
TEST(VersionResources, BothProgramsCarryTheProjectVersion) {
  for (const wchar_t* name : {L"\\ravelmend-batch.exe", L"\\Ravelmend.exe"}) {
    std::wstring exe = wintest::BuildFolder() + name;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u) << Narrow(exe);
    std::vector<std::byte> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS,
              static_cast<DWORD>(MAKELONG(RAVEL_VERSION_MINOR, RAVEL_VERSION_MAJOR)));
    EXPECT_EQ(fixed->dwFileVersionLS,
              static_cast<DWORD>(MAKELONG(RAVEL_VERSION_BUILD, RAVEL_VERSION_PATCH)));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    auto text = [&](const wchar_t* key) {
      wchar_t* value = nullptr;
      UINT n = 0;
      std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
      if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &n) ||
          n == 0)
        return std::string("<none>");
      return Narrow(std::wstring(value, n - 1));
    };
    EXPECT_EQ(text(L"ProductVersion"), RAVEL_VERSION) << Narrow(exe);
    EXPECT_EQ(text(L"FileVersion"), RAVEL_VERSION_FULL) << Narrow(exe);
    EXPECT_EQ(text(L"CompanyName"), "Norquill") << Narrow(exe);
    EXPECT_NE(text(L"FileDescription"), "<none>") << Narrow(exe);
  }
}

// On a network share: the walk, the search and the replacement work on UNC paths, long ones
// included. Wine serves \\server\share from the prefix's dosdevices\unc\server\share
// folder, made here once the prefix exists (a dosdevices folder made before the prefix
// keeps Wine from setting it up).
class BatchExeOnShare : public BatchExe {
 protected:
  void SetUp() override {
    wchar_t prefix[1024];
    DWORD n = GetEnvironmentVariableW(L"WINEPREFIX", prefix, 1024);
    if (n == 0 || n >= 1024) GTEST_SKIP() << "needs Wine's prefix to serve the share";
    std::wstring unc = L"Z:" + std::wstring(prefix, n) + L"/dosdevices/unc";
    for (const wchar_t* part : {L"", L"/ravelhost", L"/ravelhost/share"})
      CreateDirectoryW((unc + part).c_str(), nullptr);
    BatchExe::SetUp();
  }
  std::string Parent() const override { return "\\\\ravelhost\\share"; }
};

TEST_F(BatchExeOnShare, UncPathsAreCheckedAndWrittenAsTheyAre) {
  std::string deep = "docs";
  for (int i = 0; i < 5; ++i) {
    deep += "\\" + std::string(50, static_cast<char>('k' + i));
    Folder(deep);
  }
  Doc("docs\\a.docx", {At("old\\three.png"), At("here.png")});
  Doc(deep + "\\b.docx", {"file:" + std::string("//ravelhost/share/gone/one.png")});
  ASSERT_GT(At(deep + "\\b.docx").size(), 260u);
  EXPECT_EQ(Run({"fix", "--root", At("pics"), At("docs")}), 0) << err << out;
  EXPECT_TRUE(Has(RelsOf("docs\\a.docx"), "Target=\"" + At("pics\\b\\three.png") + "\""))
      << RelsOf("docs\\a.docx");
  std::string uri = "file:" + At("pics\\a\\deep\\one.png");
  std::replace(uri.begin(), uri.end(), '\\', '/');
  EXPECT_TRUE(Has(RelsOf(deep + "\\b.docx"), uri)) << RelsOf(deep + "\\b.docx");
  EXPECT_TRUE(Has(out, "2 documents, 3 links: 1 ok, 2 fixed, 2 documents written")) << out;
  EXPECT_EQ(Names("docs"), (std::vector<std::string>{"a.docx", std::string(50, 'k'), "sub"}));
  EXPECT_EQ(Names(deep), (std::vector<std::string>{"b.docx"}));
}

// The store itself: every failing step leaves the document as it was and nothing beside it.
class Win32StoreTest : public BatchExe {
 protected:
  // Why `call` refused, or "none".
  static std::string Why(const std::function<void()>& call) {
    try {
      call();
    } catch (const docfile::DocError& e) {
      return docfile::ReasonName(e.reason());
    }
    return "none";
  }
  void SetUp() override {
    BatchExe::SetUp();
    doc = At("docs\\a.docx");
  }
  void ReadDoc() { store.Read(doc, stamp, 1 << 20); }

  docfile::Win32Store store;
  docfile::Stamp stamp;
  std::string doc;
};

TEST_F(Win32StoreTest, AFailingStepLeavesTheDocumentAndNoTraces) {
  Write("docs\\a.docx", "original");
  for (const char* failing : {"write", "attributes", "backup", "replace"}) {
    ReadDoc();
    store.fault = [&](const char* step) {
      if (std::string(step) == failing) throw docfile::DocError(docfile::Reason::WriteFailed, step);
    };
    EXPECT_THROW(store.Replace(doc, {'n', 'e', 'w'}, stamp, true), docfile::DocError) << failing;
    EXPECT_EQ(Read("docs\\a.docx"), "original") << failing;
    EXPECT_EQ(Names("docs"), (std::vector<std::string>{"a.docx", "sub"})) << failing;
  }
}

// Attributes always survive the swap; the write time becomes the repair's unless the old one
// is asked for.
TEST_F(Win32StoreTest, TheReplacedDocumentKeepsItsAttributesAndTheChosenTime) {
  FILETIME old_time{0x12345600, 0x01d00000};  // 2014
  const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  for (bool keep : {false, true}) {
    Write("docs\\a.docx", "original");
    std::wstring wide = WidePath(doc);
    HANDLE h = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    SetFileTime(h, &old_time, nullptr, &old_time);
    CloseHandle(h);
    SetFileAttributesW(wide.c_str(), kept);
    store.keep_times = keep;
    ReadDoc();
    EXPECT_EQ(store.Replace(doc, {'n', 'e', 'w'}, stamp, false), "");
    EXPECT_EQ(Read("docs\\a.docx"), "new");
    WIN32_FILE_ATTRIBUTE_DATA now;
    ASSERT_TRUE(GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &now));
    EXPECT_EQ(now.dwFileAttributes & kept, kept);
    EXPECT_EQ(CompareFileTime(&now.ftLastWriteTime, &old_time) == 0, keep) << keep;
    EXPECT_EQ(Names("docs"), (std::vector<std::string>{"a.docx", "sub"}));
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(Win32StoreTest, BackupsTakeTheNextFreeNameAndChangesAreNoticed) {
  Write("docs\\a.docx", "first");
  ReadDoc();
  EXPECT_EQ(store.Replace(doc, {'2'}, stamp, true), At("docs\\a.docx.bak"));
  ReadDoc();
  EXPECT_EQ(store.Replace(doc, {'3'}, stamp, true), At("docs\\a.docx.bak2"));
  EXPECT_EQ(Read("docs\\a.docx.bak"), "first");
  EXPECT_EQ(Read("docs\\a.docx.bak2"), "2");
  EXPECT_EQ(Read("docs\\a.docx"), "3");

  // Someone writes the document between reading and replacing: it stays theirs.
  ReadDoc();
  Write("docs\\a.docx", "theirs, longer");
  EXPECT_EQ(Why([&] { store.Replace(doc, {'4'}, stamp, false); }),
            docfile::ReasonName(docfile::Reason::Changed));
  EXPECT_EQ(Read("docs\\a.docx"), "theirs, longer");
  EXPECT_EQ(Names("docs"),
            (std::vector<std::string>{"a.docx", "a.docx.bak", "a.docx.bak2", "sub"}));
}

TEST_F(Win32StoreTest, ReadAndCheckTellWhyADocumentCannotBeRepaired) {
  using docfile::ReasonName;
  using R = docfile::Reason;
  Write("docs\\a.docx", "x");
  EXPECT_EQ(Why([&] { store.Read(At("docs\\gone.docx"), stamp, 100); }), ReasonName(R::Vanished));
  EXPECT_EQ(Why([&] { store.Read(At("docs"), stamp, 100); }), ReasonName(R::Unreadable));
  EXPECT_EQ(Why([&] { store.Read(doc, stamp, 0); }), ReasonName(R::TooLarge));
  EXPECT_EQ(Why([&] { store.CheckWritable(doc); }), "none");
  HANDLE exclusive =
      CreateFileW(WidePath(doc).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(Why([&] { store.Read(doc, stamp, 100); }), ReasonName(R::Locked));
  CloseHandle(exclusive);

  EXPECT_EQ(docfile::WordOwnerFileName("Memo.docx"), "~$Memo.docx");
  EXPECT_EQ(docfile::WordOwnerFileName("Letters.docx"), "~$etters.docx");
  EXPECT_EQ(docfile::WordOwnerFileName("Überschrift.docx"), "~$erschrift.docx");
}

}  // namespace
}  // namespace ravel
