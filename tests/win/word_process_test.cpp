// Word as another process: the adapter takes the Word the user runs, quits only an empty,
// hidden Word it started itself, lets go of a Word that went away until the user asks again,
// waits a bounded time for a busy Word, passes omitted arguments as Word expects them and
// writes its calls to the trace. The stand-in behind it is a local server of its own.
#include <gtest/gtest.h>

#include <windows.h>
// (the OLE headers need windows.h first)
#include <oleauto.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "inventory/Word.h"
#include "win32/common/ComMessageFilter.h"
#include "win32/common/ComPtr.h"
#include "win32/common/ComTrace.h"
#include "win32/common/ComWord.h"
#include "win32/common/Utf.h"
#include "win_support.h"

using namespace ravel;
using namespace ravel::wintest;
using ravel::win::ComWord;

namespace {

const std::string kDocument = WindowsPath(std::string(RAVEL_FIXTURES) + "/com-document.json");
const std::string kDocumentName =
    "\xC3\x9C"
    "bersicht \xD0\x96\xD1\x83\xD0\xBA \xE5\x9B\xBE.doc";

// Ends every stand-in and waits until none is left: EndStandIns bounds its waits and moves
// on, so one (of an earlier test on this prefix, too) may still be on its way out, and these
// tests count the stand-in processes.
bool NoStandInLeft() {
  EndStandIns();
  return WaitFor([] { return StandInProcesses().empty(); });
}

class WordProcessTest : public StandInTest {
 protected:
  void SetUp() override {
    StandInTest::SetUp();
    ASSERT_TRUE(NoStandInLeft()) << "a stand-in of an earlier test does not end";
  }
};

}  // namespace

// --- which Word, and none left behind ---

// The user's Word runs on after the program, also a hidden one without a document (started
// by another program, or hidden by a macro): only a Word the program started is quit.
TEST_F(WordProcessTest, TakesTheWordTheUserRunsAndLeavesItRunning) {
  for (bool with_document : {true, false}) {
    SCOPED_TRACE(with_document ? "with a document" : "hidden, without a document");
    UseFixture(with_document ? kDocument : "");
    ASSERT_TRUE(StartWordAsUser());
    if (!with_document)
      win::ComObject(RunningWord(), std::make_shared<win::ComSession>(), "")
          .Put("Visible", Value(false));
    UseFixture("");  // a Word started now would hold no document
    {
      ComWord word;
      if (with_document) {
        EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
      }
      word.Global();
      EXPECT_FALSE(word.StartedWord());
      EXPECT_EQ(StandInProcesses().size(), 1u) << "no second Word was started";
    }
    EXPECT_TRUE(RunningWord()) << "the user's Word goes on running";
    EXPECT_EQ(StandInProcesses().size(), 1u);
    ASSERT_TRUE(NoStandInLeft());
  }
}

TEST_F(WordProcessTest, AWordItStartedIsQuitAtTheEndOnlyWhenItShowsNothing) {
  {
    ComWord word;
    EXPECT_NE(ErrorOf([&] { ActiveDocument(word); }), "(no error)");
    EXPECT_TRUE(word.StartedWord());
    EXPECT_EQ(StandInProcesses().size(), 1u);
  }
  EXPECT_TRUE(WaitFor([] { return StandInProcesses().empty(); }))
      << "a hidden Word without a document is left behind";

  // With a document open (the user may already work in it) it stays.
  UseFixture(kDocument);
  {
    ComWord word;
    EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
    EXPECT_TRUE(word.StartedWord());
  }
  EXPECT_TRUE(RunningWord());
  EndStandIns();

  // And so does one the user made visible.
  UseFixture("");
  {
    ComWord word;
    word.Global()->Put("Visible", Value(true));
  }
  EXPECT_TRUE(RunningWord());
}

TEST_F(WordProcessTest, AWordThatWentAwayIsLetGoUntilTheUserLooksAgain) {
  UseFixture(kDocument);
  ComWord word;
  EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
  AskRunningWord("StandInExitAfter", {Value(0)});
  std::int32_t code = 0;
  EXPECT_NE(ErrorOf([&] { ActiveDocument(word).Name(); }, &code), "(no error)");
  EXPECT_TRUE(win::IsGoneAnswer(code)) << std::hex << code;
  ASSERT_TRUE(WaitFor([] { return StandInProcesses().empty(); }));

  // Later calls fail at once and start no Word in the middle of an operation.
  std::string later = ErrorOf([&] { ActiveDocument(word); });
  EXPECT_EQ(later.rfind("Microsoft Word is not available: ", 0), 0u) << later;
  EXPECT_TRUE(StandInProcesses().empty());

  // The user starts Word again: found only when asked.
  ASSERT_TRUE(StartWordAsUser());
  EXPECT_NE(ErrorOf([&] { ActiveDocument(word); }), "(no error)");
  word.LookAgain();
  EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
  EXPECT_FALSE(word.StartedWord());
}

TEST_F(WordProcessTest, AWordStartedAfterTheProgramIsFoundWhenTheUserLooksAgain) {
  ComWord word;
  std::vector<bool> told;
  word.SetBusyNotice([&](bool on) {
    if (told.empty() || told.back() != on) told.push_back(on);
  });
  EXPECT_NE(ErrorOf([&] { ActiveDocument(word); }), "(no error)");
  ASSERT_TRUE(word.StartedWord());

  UseFixture(kDocument);
  ASSERT_TRUE(StartWordAsUser());
  word.LookAgain();
  EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
  // The empty Word the program had started is gone; the user's runs.
  EXPECT_TRUE(WaitFor([] { return StandInProcesses().size() == 1; }));
  EXPECT_FALSE(word.StartedWord());
  // The new Word's wait is told as the first one's was.
  told.clear();
  AskRunningWord("StandInBusy", {Value(0), Value(300), Value(0)});
  EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
  EXPECT_EQ(told, (std::vector<bool>{true, false}));
}

// --- a busy Word ---

TEST_F(WordProcessTest, ABusyWordIsWaitedForAndTheWaitIsTold) {
  UseFixture(kDocument);
  ComWord word;
  std::vector<bool> told;
  word.SetBusyNotice([&](bool on) {
    if (told.empty() || told.back() != on) told.push_back(on);
  });
  word.Global();
  // Busy for 2 s from the next call: the read waits and then gets its answer.
  AskRunningWord("StandInBusy", {Value(0), Value(2000), Value(0)});
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_GT(AsLong(AskRunningWord("StandInRejected")), 0);
  EXPECT_EQ(told, (std::vector<bool>{true, false}));

  // Busy beyond the patience: the call fails with Word's answer.
  word.SetBusyPatience(std::chrono::milliseconds(500));
  AskRunningWord("StandInBusy", {Value(0), Value(60000), Value(0)});
  std::int32_t code = 0;
  EXPECT_NE(ErrorOf([&] { ActiveDocument(word).Name(); }, &code), "(no error)");
  EXPECT_TRUE(win::IsBusyAnswer(code)) << std::hex << code;

  // With the user to ask, as Office's busy dialog does: Retry waits once more, here until
  // Word answers. A Word with a modal dialog open answers RPC_E_CALL_REJECTED: busy too.
  int asked = 0;
  word.SetBusyAsk([&] { return ++asked > 0; });
  AskRunningWord("StandInBusy", {Value(0), Value(1500), Value(0), Value(1)});
  EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
  EXPECT_GE(asked, 1);
  // Cancel stops the call at once, and with it the operation.
  asked = 0;
  word.SetBusyAsk([&] { return ++asked == 0; });
  AskRunningWord("StandInBusy", {Value(0), Value(60000), Value(0)});
  start = std::chrono::steady_clock::now();
  EXPECT_THROW(ActiveDocument(word).Name(), OperationCancelled);
  EXPECT_EQ(asked, 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  AskRunningWord("StandInBusy", {Value(0), Value(0), Value(0)});
}

TEST_F(WordProcessTest, ANameLookupRefusedByABusyWordIsAskedAgain) {
  UseFixture(kDocument);
  ComWord word;
  word.SetBusyPatience(std::chrono::milliseconds(0));
  WObjectPtr global = word.Global();
  // The first call (the lookup of ActiveDocument) is refused once, with no patience.
  AskRunningWord("StandInBusy", {Value(0), Value(0), Value(1)});
  std::int32_t code = 0;
  EXPECT_NE(ErrorOf([&] { global->Get("ActiveDocument"); }, &code), "(no error)");
  EXPECT_TRUE(win::IsBusyAnswer(code));
  EXPECT_EQ(Document(AsObject(global->Get("ActiveDocument"))).Name(), kDocumentName);
  // A lookup Word answered is not asked again, even when the call then fails.
  EXPECT_NE(ErrorOf([&] { global->Get("NoSuchMemberAnywhere"); }), "(no error)");
  long asked = word.NameLookups();
  EXPECT_NE(ErrorOf([&] { global->Get("NoSuchMemberAnywhere"); }), "(no error)");
  EXPECT_EQ(word.NameLookups(), asked);
}

// --- arguments ---

TEST_F(WordProcessTest, AnOmittedArgumentGoesAsParamNotFoundAndAnEmptyOneIsRefused) {
  UseFixture(kDocument);
  ComWord word;
  WObjectPtr inline_shapes =
      AsObject(AsObject(word.Global()->Get("ActiveDocument"))->Get("InlineShapes"));
  // Item with its index omitted: Word sees no index at all, not an empty one.
  EXPECT_EQ(ErrorOf([&] { inline_shapes->Call("Item", {Value()}); }), "Argument not optional.");

  // The same call with VT_EMPTY, as a careless client sends it.
  auto* raw = static_cast<win::ComObject*>(inline_shapes.get())->Dispatch();
  std::wstring name = L"Item";
  LPOLESTR names[1] = {name.data()};
  DISPID id = 0;
  ASSERT_EQ(raw->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  win::Variant empty;
  DISPPARAMS params{empty.get(), nullptr, 1, 0};
  win::Variant result;
  UINT arg_err = 99;
  EXPECT_EQ(raw->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(),
                        nullptr, &arg_err),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_err, 0u);
}

// --- the trace ---

TEST_F(WordProcessTest, TheTraceHoldsEveryCallWithItsAnswerOrError) {
  wchar_t dir[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, dir);
  std::wstring path =
      std::wstring(dir) + L"ravelmend-trace-" + std::to_wstring(GetCurrentProcessId()) + L".jsonl";
  DeleteFileW(path.c_str());
  UseFixture(kDocument);
  {
    ComWord word;
    word.SetTrace(win::ComTrace::Open(win::Narrow(path)));
    EXPECT_EQ(ActiveDocument(word).Name(), kDocumentName);
    EXPECT_NE(ErrorOf([&] { ActiveDocument(word).InlineShapes().Item(2).Link().SourceFullName(); }),
              "(no error)");
    ActiveDocument(word).InlineShapes().Item(1).Link().SetSavePictureWithDocument(false);
  }
  std::vector<nlohmann::json> lines;
  {
    std::ifstream in(win::Narrow(path));
    for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  }
  DeleteFileW(path.c_str());

  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[0]["access"], "attach");
  EXPECT_EQ(lines[0]["result"], "started");
  int names = 0, errors = 0, puts = 0;
  for (const auto& l : lines) {
    for (const char* key : {"ms", "object", "member", "args"})
      ASSERT_TRUE(l.contains(key)) << l.dump();
    if (l["member"] == "Name" && l["result"] == kDocumentName) ++names;
    if (l["member"] == "SourceFullName" && l.contains("hresult")) {
      ++errors;
      EXPECT_EQ(l["object"], "ActiveDocument.InlineShapes.Item.LinkFormat");
      EXPECT_EQ(l["error"]["source"], "Microsoft Word");
      EXPECT_FALSE(l["error"]["description"].get<std::string>().empty());
    }
    if (l["member"] == "SavePictureWithDocument" && l["access"] == "put") {
      ++puts;
      EXPECT_EQ(l["args"], nlohmann::json::array({false}));
    }
    if (l["member"] == "Item") {
      EXPECT_TRUE(l["args"][0].is_number()) << l.dump();
    }
  }
  EXPECT_EQ(names, 1);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(puts, 1);
}

// --- the message filter (what Windows' COM asks while Word refuses a call) ---

TEST(BusyRetryFilter, RetriesOnlyABusyWordAndOnlyWithinItsPatience) {
  std::vector<bool> told;
  win::BusyRetryFilter filter(30000, [&](bool on) { told.push_back(on); });
  EXPECT_EQ(filter.RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 100u);
  EXPECT_EQ(filter.RetryRejectedCall(nullptr, 29999, SERVERCALL_RETRYLATER), 100u);
  EXPECT_EQ(filter.RetryRejectedCall(nullptr, 30000, SERVERCALL_RETRYLATER),
            static_cast<DWORD>(-1));
  // A call refused outright is not taken later.
  EXPECT_EQ(filter.RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), static_cast<DWORD>(-1));
  EXPECT_EQ(told, (std::vector<bool>{true, true}));
  // Paint and the like go on while a call waits.
  EXPECT_EQ(filter.MessagePending(nullptr, 10, PENDINGTYPE_TOPLEVEL),
            static_cast<DWORD>(PENDINGMSG_WAITDEFPROCESS));
  EXPECT_EQ(filter.HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr),
            static_cast<DWORD>(SERVERCALL_ISHANDLED));
}

// A call Word refuses for good fails at once: no wait, nobody asked. A busy answer waits.
TEST(BusyRetryFilter, ARefusalForGoodIsAnErrorAtOnce) {
  win::BusyRetryFilter filter(30000);
  win::ComSession session;
  int asked = 0, calls = 0;
  session.busy_ask = [&] { return ++asked < 2; };
  HRESULT hr = session.WhileBusy([&] {
    ++calls;
    filter.RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED);  // as COM asks it
    return RPC_E_CALL_REJECTED;
  });
  EXPECT_EQ(hr, RPC_E_CALL_REJECTED);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(asked, 0);
  session.patience = std::chrono::milliseconds(0);
  EXPECT_THROW(session.WhileBusy([&] { return RPC_E_CALL_REJECTED; }), OperationCancelled);
  EXPECT_EQ(asked, 2);
}
