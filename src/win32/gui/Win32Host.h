// The window host over Win32: event pump, message boxes, the busy cursor, the end of the
// program, the shell's folder browser, the common file dialog and the modal duplicate
// location chooser. Everything is owned by the main window once it exists.
#pragma once

#include "win32/gui/Win.h"

#include <optional>
#include <string>

#include "app/Host.h"

namespace ravel::win {

class Win32Host : public Host {
 public:
  void PumpEvents() override;
  int MessageBox(const std::string& text, const std::string& title, int style) override;
  void SetBusyCursor(bool busy) override;
  void EndProgram() override;
  std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& select,
                                             int flags) override;
  std::optional<std::string> OpenFileDialog(const std::string& initial_folder,
                                            const std::string& file_name) override;
  void ShowModal(MoreLinksFound& dialog) override;

  // The main window, set when it is created and cleared when it is destroyed.
  void SetMainWindow(HWND hwnd) { main_ = hwnd; }
  HWND MainWindow() const { return main_; }
  // The open duplicate location chooser, or null.
  HWND ModalWindow() const { return modal_; }
  // True once EndProgram ran: no further window opens.
  bool Ending() const { return ending_; }
  // The message loop of the program; returns when the program ends, with its exit code.
  int Run();

 private:
  // Keyboard navigation for our windows, else the usual translation and dispatch.
  void Dispatch(MSG& msg);

  HWND main_ = nullptr;
  HWND modal_ = nullptr;
  bool ending_ = false;
};

}  // namespace ravel::win
