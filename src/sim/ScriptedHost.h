// The window host for tests: records what the program shows and answers its dialogs from
// a script.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Host.h"

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
  void ShowModal(MoreLinksFound& dialog) override;

  // What happened.
  std::vector<Box> boxes;
  std::vector<Browse> browses;
  std::vector<FileDialog> file_dialogs;
  int pumps = 0;
  int modal_shown = 0;
  bool busy_cursor = false;
  bool ended = false;

  // Answers, taken in order; an empty queue answers "cancelled".
  std::deque<std::optional<std::string>> browse_answers;
  std::deque<std::optional<std::string>> file_answers;
  // Acts on each modal dialog as the user would (click entries, OK, Cancel).
  std::function<void(MoreLinksFound&)> on_modal;
  // Runs at each event pump, as a user acting during an operation would.
  std::function<void()> on_pump;
};

}  // namespace ravel::sim
