// The window host over Win32: event pump, message boxes, the busy cursor, the end of the
// program, the shell's folder browser, the common file dialog and the modal duplicate
// location chooser. Everything is owned by the main window once it exists.
#pragma once

#include "win32/gui/Win.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/Host.h"
#include "win32/gui/WinPicture.h"

namespace ravel::win {

class ViewerWindow;
class SplashWindow;

// Posted to the main window when a picture read on a worker thread is ready.
constexpr UINT kPicturesArrivedMessage = WM_APP + 8;

class Win32Host : public Host {
 public:
  Win32Host();
  ~Win32Host() override;
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  void PumpEvents() override;
  int MessageBox(const std::string& text, const std::string& title, int style) override;
  void SetBusyCursor(bool busy) override;
  void EndProgram() override;
  std::optional<std::string> BrowseForFolder(const std::string& prompt, const std::string& select,
                                             int flags) override;
  std::optional<std::string> OpenFileDialog(const std::string& initial_folder,
                                            const std::string& file_name) override;
  std::optional<std::string> OpenDocumentDialog(const std::string& initial_folder) override;
  void ShowModal(MoreLinksFound& dialog) override;
  PictureDecoder& Pictures() override { return pictures_; }
  WinPictureDecoder& PictureLoader() { return pictures_; }
  void PostPicturesArrived() override;
  ScreenSize ScreenTwips() override;
  void SetScreenHourglass(bool on) override;
  void ShellOpen(const std::string& target) override;
  void ShowSplash(frmSplash& splash) override;
  void ShowModal(frmSplash& about) override;
  void ShowModal(DL_Info& info) override;
  void ShowMainWindow() override;
  void ShowViewer(wPictureViewer& viewer) override;

  // How the main window is shown when the splash hands over.
  void SetShowMain(std::function<void()> show) { show_main_ = std::move(show); }
  bool ScreenHourglass() const { return screen_hourglass_; }
  // The viewer's and the splash's windows, while they exist (else null).
  HWND ViewerHandle() const;
  HWND SplashHandle() const;
  // Destroys the windows the host keeps (viewer, splash): before the forms they show go.
  void DestroyWindows();

  // The main window, set when it is created and cleared when it is destroyed.
  void SetMainWindow(HWND hwnd) {
    main_ = hwnd;
    arrivals_to_ = hwnd;
  }
  // The main window's keyboard shortcuts (Ctrl+O), translated before dialog navigation.
  void SetAccelerators(HACCEL accelerators) { accelerators_ = accelerators; }
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

  // Disables the owner, then runs `show` and window messages until `closed` holds or the
  // window is gone. The owner goes first, as with the system's dialogs: a user (or a tool
  // reading the screen) never meets the window while its owner still takes input.
  void ModalLoop(HWND window, HWND owner, const std::function<void()>& show,
                 const std::function<bool()>& closed);

  HWND main_ = nullptr;
  HWND modal_ = nullptr;
  HACCEL accelerators_ = nullptr;
  bool ending_ = false;
  bool screen_hourglass_ = false;
  std::function<void()> show_main_;
  std::unique_ptr<ViewerWindow> viewer_;
  std::unique_ptr<SplashWindow> splash_;
  WinPictureDecoder pictures_;
  // Where workers post their arrivals (read on their threads).
  std::atomic<HWND> arrivals_to_ = nullptr;
};

}  // namespace ravel::win
