// The window host: what the forms need from the windowing system beyond their controls.
// The Win32 host shows real windows; the scripted host in the stand-ins answers for tests.
#pragma once

#include <optional>
#include <string>

namespace ravel {

class MoreLinksFound;

// Message-box styles, as Windows numbers them.
constexpr int kMbOk = 0x0;
constexpr int kMbIconCritical = 0x10;
constexpr int kMbIconInformation = 0x40;

class Host {
 public:
  virtual ~Host() = default;
  // Lets pending window events run once (repaint, timers, clicks on enabled controls).
  virtual void PumpEvents() = 0;
  // Returns the button pressed (1 for OK).
  virtual int MessageBox(const std::string& text, const std::string& title, int style) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // Ends the program at once: every window closes without further handlers.
  virtual void EndProgram() = 0;

  // Shell folder browser over the main window, rooted at the desktop, opening with
  // `select` selected. The chosen folder's file-system path, or nullopt when cancelled or
  // the choice has no such path.
  virtual std::optional<std::string> BrowseForFolder(const std::string& prompt,
                                                     const std::string& select, int flags) = 0;
  // Common file-open dialog; nullopt when cancelled or failed.
  virtual std::optional<std::string> OpenFileDialog(const std::string& initial_folder,
                                                    const std::string& file_name) = 0;
  // Shows the duplicate location chooser modally, owned by the main window, and returns
  // when it has closed.
  virtual void ShowModal(MoreLinksFound& dialog) = 0;
};

}  // namespace ravel
