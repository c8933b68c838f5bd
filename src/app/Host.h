// The window host: what the forms need from the windowing system beyond their controls.
// The Win32 host shows real windows; the scripted host in the stand-ins answers for tests.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace ravel {

class MoreLinksFound;
class frmSplash;
class DL_Info;
class wPictureViewer;
class PictureDecoder;

// The screen's size in twips.
struct ScreenSize {
  int width = 0;
  int height = 0;
};

// Message-box styles, as Windows numbers them.
constexpr int kMbOk = 0x0;
constexpr int kMbYesNoCancel = 0x3;
constexpr int kMbIconCritical = 0x10;
constexpr int kMbIconQuestion = 0x20;
constexpr int kMbIconExclamation = 0x30;
constexpr int kMbIconInformation = 0x40;
// The buttons a message box answers with.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

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
  // The file-open dialog for a document to open (every Office and OpenDocument type),
  // opening in `initial_folder` (empty: where the dialog opened last); nullopt when cancelled.
  virtual std::optional<std::string> OpenDocumentDialog(const std::string& initial_folder) {
    (void)initial_folder;
    return std::nullopt;
  }
  // Shows the duplicate location chooser modally, owned by the main window, and returns
  // when it has closed.
  virtual void ShowModal(MoreLinksFound& dialog) = 0;

  // The platform's picture loader, used on the worker threads of the preview and the viewer.
  virtual PictureDecoder& Pictures() = 0;
  // From any thread: asks the window thread to run the main window's PicturesArrived soon
  // (a posted message); nothing once the program ends.
  virtual void PostPicturesArrived() = 0;
  virtual ScreenSize ScreenTwips() = 0;
  // The screen's mouse pointer: the hourglass, or back to the default.
  virtual void SetScreenHourglass(bool on) = 0;
  // Asks the shell to open `target` with its default action; the outcome is not reported.
  virtual void ShellOpen(const std::string& target) = 0;
  // The splash window at start, not modal; it closes itself (its Me goes invisible).
  virtual void ShowSplash(frmSplash& splash) = 0;
  // The splash as the About window, and the information window: modal, owned by the main
  // window; each returns when the window has closed.
  virtual void ShowModal(frmSplash& about) = 0;
  virtual void ShowModal(DL_Info& info) = 0;
  // Shows the main window (not modal); nothing when it is shown already.
  virtual void ShowMainWindow() = 0;
  // Shows the viewer, not modal and without owner, creating its window when needed.
  virtual void ShowViewer(wPictureViewer& viewer) = 0;
};

}  // namespace ravel
