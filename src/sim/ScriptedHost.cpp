#include "sim/ScriptedHost.h"

#include "info/DL_Info.h"
#include "info/frmSplash.h"
#include "preview/wPictureViewer.h"

namespace ravel::sim {

void ScriptedHost::PumpEvents() {
  ++pumps;
  if (on_pump) on_pump();
}

int ScriptedHost::MessageBox(const std::string& text, const std::string& title, int style) {
  boxes.push_back({text, title, style});
  if (box_answers.empty()) return kIdOk;
  int answer = box_answers.front();
  box_answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedHost::OpenDocumentDialog(const std::string& initial_folder) {
  document_dialogs.push_back(initial_folder);
  if (document_answers.empty()) return std::nullopt;
  std::optional<std::string> answer = document_answers.front();
  document_answers.pop_front();
  return answer;
}

std::optional<std::string> ScriptedHost::BrowseForFolder(const std::string& prompt,
                                                         const std::string& select, int flags) {
  browses.push_back({prompt, select, flags});
  if (browse_answers.empty()) return std::nullopt;
  auto a = browse_answers.front();
  browse_answers.pop_front();
  return a;
}

std::optional<std::string> ScriptedHost::OpenFileDialog(const std::string& initial_folder,
                                                        const std::string& file_name) {
  file_dialogs.push_back({initial_folder, file_name});
  if (file_answers.empty()) return std::nullopt;
  auto a = file_answers.front();
  file_answers.pop_front();
  return a;
}

void ScriptedHost::ShowModal(MoreLinksFound& dialog) {
  ++modal_shown;
  if (on_modal) on_modal(dialog);
}

void ScriptedHost::ShowSplash(frmSplash& splash) {
  ++splash_shown;
  splash.Me.SetVisible(true);
}

void ScriptedHost::ShowModal(frmSplash& about) {
  ++about_shown;
  about.Me.SetVisible(true);
  if (on_about) on_about(about);
}

void ScriptedHost::ShowModal(DL_Info& info) {
  ++info_shown;
  info.Me.SetVisible(true);
  if (on_info) on_info(info);
}

void ScriptedHost::PostPicturesArrived() {
  std::lock_guard lock(posted_mutex_);
  ++posted_;
  posted_changed_.notify_all();
}

void ScriptedHost::TakePostedArrival() {
  std::unique_lock lock(posted_mutex_);
  posted_changed_.wait(lock, [this] { return posted_ > 0; });
  --posted_;
}

void ScriptedHost::ShowViewer(wPictureViewer& viewer) {
  viewers_shown.push_back(&viewer);
  viewer.Me.SetVisible(true);
}

}  // namespace ravel::sim
