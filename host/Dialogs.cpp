#include "host/Dialogs.h"

#include <fmt/format.h>

namespace host {

const char* dialogKindName(ScriptedDialogs::Kind k) {
  switch (k) {
    case ScriptedDialogs::Kind::Question:
      return "question";
    case ScriptedDialogs::Kind::Information:
      return "information";
    case ScriptedDialogs::Kind::Error:
      return "error";
    case ScriptedDialogs::Kind::MsgAlert:
      return "alert";
    case ScriptedDialogs::Kind::Folder:
      return "folder dialog";
    case ScriptedDialogs::Kind::Save:
      return "save dialog";
    case ScriptedDialogs::Kind::Pick:
      return "pick list";
    case ScriptedDialogs::Kind::PickMany:
      return "multi-selection";
  }
  return "?";
}

ScriptedDialogs& ScriptedDialogs::expectQuestion(std::string textFragment, bool answer) {
  script_.push_back({Kind::Question, std::move(textFragment), answer, 0, {}, {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectInformation(std::string textFragment) {
  script_.push_back({Kind::Information, std::move(textFragment), false, 0, {}, {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectError(std::string textFragment) {
  script_.push_back({Kind::Error, std::move(textFragment), false, 0, {}, {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectMsgAlert(std::string textFragment, int result) {
  script_.push_back({Kind::MsgAlert, std::move(textFragment), false, result, {}, {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectFolder(std::optional<std::string> answer) {
  script_.push_back({Kind::Folder, {}, false, 0, std::move(answer), {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectSave(std::optional<std::string> answer) {
  script_.push_back({Kind::Save, {}, false, 0, std::move(answer), {}});
  return *this;
}
ScriptedDialogs& ScriptedDialogs::expectPickMany(std::optional<std::vector<int>> answer) {
  Step st{Kind::PickMany, {}, false, 0, {}, {}, {}};
  st.picks = std::move(answer);
  script_.push_back(std::move(st));
  return *this;
}

ScriptedDialogs& ScriptedDialogs::expectPick(std::optional<int> answer) {
  script_.push_back({Kind::Pick, {}, false, 0, {}, answer});
  return *this;
}

ScriptedDialogs::Step ScriptedDialogs::take(Kind kind, const std::string& text,
                                            const std::string& caption) {
  shown_.push_back({kind, text, caption});
  if (script_.empty()) {
    throw UnexpectedDialog(fmt::format("unexpected {} \"{}\": the script has nothing left",
                                       dialogKindName(kind), text));
  }
  Step step = script_.front();
  if (step.kind != kind || text.find(step.fragment) == std::string::npos) {
    throw UnexpectedDialog(fmt::format("unexpected {} \"{}\": the script expected a {} with \"{}\"",
                                       dialogKindName(kind), text, dialogKindName(step.kind),
                                       step.fragment));
  }
  script_.pop_front();
  return step;
}

bool ScriptedDialogs::question(const std::string& text, const std::string& caption) {
  return take(Kind::Question, text, caption).answer;
}
void ScriptedDialogs::information(const std::string& text, const std::string& caption) {
  take(Kind::Information, text, caption);
}
void ScriptedDialogs::error(const std::string& text, const std::string& caption) {
  take(Kind::Error, text, caption);
}
int ScriptedDialogs::msgAlertEx(const std::string& text, const std::string& caption,
                                const std::vector<std::string>& buttons) {
  const int result = take(Kind::MsgAlert, text, caption).result;
  const int last = kMsgAlertFirstButton + static_cast<int>(buttons.size()) - 1;
  if (result < kMsgAlertFirstButton || result > last) {
    throw UnexpectedDialog(
        fmt::format("scripted alert result {} is not a button of \"{}\"", result, text));
  }
  return result;
}
void ScriptedDialogs::showWait(bool on) {
  if (on != waitOn_) ++waitToggles_;
  waitOn_ = on;
}
std::optional<std::string> ScriptedDialogs::selectFolder(const std::string& caption,
                                                         const std::string& /*initial*/) {
  return take(Kind::Folder, caption, caption).path;
}
std::optional<std::string> ScriptedDialogs::saveFile(const std::string& caption,
                                                     const std::string& /*filter*/,
                                                     const std::string& defaultExt,
                                                     const std::string& /*initialName*/) {
  auto path = take(Kind::Save, caption, caption).path;
  if (path && !defaultExt.empty() && path->find('.', path->rfind('/') + 1) == std::string::npos) {
    *path += "." + defaultExt;
  }
  return path;
}
std::optional<int> ScriptedDialogs::pickList(const std::string& caption,
                                             const std::vector<std::string>& items) {
  lastItems_ = items;
  return take(Kind::Pick, caption, caption).pick;
}

std::optional<std::vector<int>> ScriptedDialogs::pickMany(const std::string& caption,
                                                          const std::vector<std::string>& items,
                                                          const std::vector<int>& /*marked*/) {
  lastItems_ = items;
  return take(Kind::PickMany, caption, caption).picks;
}

}  // namespace host
