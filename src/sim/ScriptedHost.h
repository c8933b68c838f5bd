// The window host for tests: records what the program shows and answers its dialogs from
// a script.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/Host.h"
#include "sim/FakePictureLoader.h"

namespace ravel::sim {

class ScriptedHost : public Host {
 public:
  struct Box {
    std::string text, title;
    int style;
  };
  struct Browse {
    std::string prompt, select;
    int flags;
  };
  struct FileDialog {
    std::string initial_folder, file_name;
  };

  void PumpEvents() override;
  int MessageBox(const std::string& text, const std::string& title, int style) override;
  void SetBusyCursor(bool busy) override { busy_cursor = busy; }
  void EndProgram() override { ended = true; }
  std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& select,
                                             int flags) override;
  std::optional<std::string> OpenFileDialog(const std::string& initial_folder,
                                            const std::string& file_name) override;
  std::optional<std::string> OpenDocumentDialog(const std::string& initial_folder) override;
  void ShowModal(MoreLinksFound& dialog) override;
  PictureDecoder& Pictures() override { return pictures; }
  void PostPicturesArrived() override;
  // Waits until a posted arrival has not been taken yet, and takes it: the window thread's
  // turn to run PicturesArrived.
  void TakePostedArrival();
  ScreenSize ScreenTwips() override { return screen; }
  void SetScreenHourglass(bool on) override {
    screen_hourglass = on;
    hourglass_calls.push_back(on);
  }
  void ShellOpen(const std::string& target) override { shell_opened.push_back(target); }
  void ShowSplash(frmSplash& splash) override;
  void ShowModal(frmSplash& about) override;
  void ShowModal(DL_Info& info) override;
  void ShowMainWindow() override { ++main_shown; }
  void ShowViewer(wPictureViewer& viewer) override;

  // What happened.
  std::vector<Box> boxes;
  std::vector<Browse> browses;
  std::vector<FileDialog> file_dialogs;
  int pumps = 0;
  int modal_shown = 0;
  bool busy_cursor = false;
  bool ended = false;

  FakePictureLoader pictures;
  ScreenSize screen{19200, 14400};  // 1280 x 960 pixels at 96 DPI
  bool screen_hourglass = false;
  std::vector<bool> hourglass_calls;
  std::vector<std::string> shell_opened;
  int splash_shown = 0;
  int about_shown = 0;
  int info_shown = 0;
  int main_shown = 0;
  std::vector<wPictureViewer*> viewers_shown;

  // Answers, taken in order; an empty queue answers "cancelled".
  std::deque<std::optional<std::string>> browse_answers;
  std::deque<std::optional<std::string>> file_answers;
  // The document file dialog's answers, and the folders it opened in.
  std::deque<std::optional<std::string>> document_answers;
  std::vector<std::string> document_dialogs;
  // Buttons pressed in message boxes, in order; an empty queue presses OK.
  std::deque<int> box_answers;
  // Acts on each modal dialog as the user would (click entries, OK, Cancel).
  std::function<void(MoreLinksFound&)> on_modal;
  // Runs at each event pump, as a user acting during an operation would.
  std::function<void()> on_pump;
  // Act on the About and Info windows while they are shown modally.
  std::function<void(frmSplash&)> on_about;
  std::function<void(DL_Info&)> on_info;

 private:
  std::mutex posted_mutex_;
  std::condition_variable posted_changed_;
  int posted_ = 0;
};

}  // namespace ravel::sim
