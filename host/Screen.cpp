#include "host/Screen.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "host/ClientDataset.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Errors.h"

namespace host {

// ---------------------------------------------------------------- Control

Control::Control(ScreenModel& owner, std::string name, ControlKind kind)
    : owner_(owner), name_(std::move(name)), kind_(kind) {}

void Control::changed() {
  // Copy: an observer may unobserve while we walk.
  auto observers = observers_;
  for (auto& [id, o] : observers) o(*this);
}

void Control::setEnabled(bool on) {
  for (Control* f : followers_) f->setEnabled(on);
  if (enabled_ == on) return;
  enabled_ = on;
  changed();
}

void Control::setVisible(bool on) {
  if (visible_ == on) return;
  visible_ = on;
  changed();
}

void Control::setReadOnly(bool on) {
  if (readOnly_ == on) return;
  readOnly_ = on;
  changed();
}

void Control::setText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  changed();
}

void Control::setCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  changed();
}

void Control::setChecked(bool on) {
  if (checked_ == on) return;
  checked_ = on;
  changed();
}

void Control::setItemIndex(int index) {
  if (itemIndex_ == index) return;
  itemIndex_ = index;
  changed();
}

void Control::setItems(std::vector<std::string> items) {
  items_ = std::move(items);
  changed();
}

bool Control::focused() const {
  return owner_.focusedControl() == this;
}

void Control::setFocus() {
  owner_.focus(*this);
}

bool Control::reachable() const {
  for (const Control* c = this; c != nullptr; c = c->parent_) {
    if (!c->enabled_ || !c->visible_) return false;
  }
  return true;
}

void Control::type(std::string text) {
  if (!reachable() || readOnly_) return;
  if (!focused()) setFocus();
  setText(std::move(text));
  if (onChange) onChange();
}

void Control::click() {
  if (!reachable()) return;
  if (onClick) onClick();
}

void Control::choose(int index) {
  if (!reachable() || readOnly_) return;
  if (index < -1 || index >= static_cast<int>(items_.size())) {
    throw InvariantError(name_ + ": no item " + std::to_string(index));
  }
  setItemIndex(index);
  if (onChange) onChange();
}

void Control::toggle() {
  if (!reachable() || readOnly_) return;
  setChecked(!checked_);
  if (onClick) onClick();
}

void Control::addFollower(Control& other) {
  followers_.push_back(&other);
  other.setEnabled(enabled_);
}

int Control::observe(Observer observer) {
  const int id = nextObserver_++;
  observers_.emplace(id, std::move(observer));
  return id;
}

void Control::unobserve(int id) {
  observers_.erase(id);
}

// ---------------------------------------------------------------- PageControl

PageControl::PageControl(ScreenModel& owner, std::string name)
    : Control(owner, std::move(name), ControlKind::PageControl) {}

Control& PageControl::addPage(const std::string& pageName, const std::string& caption,
                              Control* menuItem) {
  Control& p = owner().addControl(pageName, ControlKind::Page, this);
  p.setCaption(caption);
  pages_.push_back(&p);
  if (menuItem != nullptr) {
    menuOfPage_[pageName] = menuItem;
    p.addFollower(*menuItem);
  }
  if (active_ == nullptr) active_ = &p;
  return p;
}

Control& PageControl::page(std::string_view pageName) {
  for (Control* p : pages_) {
    if (p->name() == pageName) return *p;
  }
  throw InvariantError(name() + " has no page " + std::string(pageName));
}

bool PageControl::isShown(std::string_view pageName) const {
  return active_ != nullptr && active_->name() == pageName;
}

void PageControl::setActivePage(std::string_view pageName) {
  Control& p = page(pageName);
  if (active_ == &p) return;
  active_ = &p;
  changed();
}

void PageControl::showPage(std::string_view pageName) {
  Control& p = page(pageName);
  if (!p.enabled() || !reachable()) return;
  setActivePage(pageName);
  if (onChange) onChange();
}

void PageControl::setPageEnabled(std::string_view pageName, bool on) {
  page(pageName).setEnabled(on);
}

// ---------------------------------------------------------------- GridControl

GridControl::GridControl(ScreenModel& owner, std::string name)
    : Control(owner, std::move(name), ControlKind::Grid) {}

void GridControl::setColumns(std::vector<GridColumn> columns) {
  columns_ = std::move(columns);
  changed();
}

void GridControl::addColumn(GridColumn column) {
  columns_.push_back(std::move(column));
  changed();
}

int GridControl::IndiceCol(std::string_view field) const {
  for (size_t i = 0; i < columns_.size(); ++i) {
    if (columns_[i].field == field) return static_cast<int>(i);
  }
  return -1;
}

GridColumn& GridControl::column(std::string_view field) {
  const int i = IndiceCol(field);
  BOLETO_CHECK(i >= 0, name() + " has no column " + std::string(field));
  return columns_[static_cast<size_t>(i)];
}

void GridControl::DestroiColuna(std::string_view field) {
  const int i = IndiceCol(field);
  if (i < 0) return;
  columns_.erase(columns_.begin() + i);
  changed();
}

void GridControl::moveColumn(size_t from, size_t to) {
  BOLETO_CHECK(from < columns_.size() && to < columns_.size(), name() + ": column out of range");
  if (from == to) return;
  GridColumn moved = std::move(columns_[from]);
  columns_.erase(columns_.begin() + static_cast<std::ptrdiff_t>(from));
  columns_.insert(columns_.begin() + static_cast<std::ptrdiff_t>(to), std::move(moved));
  changed();
}

void GridControl::setRowSelect(bool on) {
  if (rowSelect_ == on) return;
  rowSelect_ = on;
  changed();
}

void GridControl::setSelectedColumn(int index) {
  if (selected_ == index) return;
  selected_ = index;
  changed();
}

void GridControl::setDataset(ClientDataset* dataset) {
  if (dataset_ == dataset) return;
  dataset_ = dataset;
  changed();
}

void GridControl::setDisplayRule(const std::string& field, DisplayRule rule) {
  rules_[field] = std::move(rule);
}

const GridControl::DisplayRule* GridControl::displayRule(std::string_view field) const {
  auto it = rules_.find(field);
  return it == rules_.end() || !it->second ? nullptr : &it->second;
}

void GridControl::titleClick(const std::string& field) {
  if (!reachable()) return;
  if (onTitleClick) onTitleClick(field);
}

void GridControl::dblClick() {
  if (!reachable()) return;
  if (onDblClick) onDblClick();
}

void GridControl::keyDown(GridKey& key, ShiftState shift) {
  if (!reachable()) return;
  if (onKeyDown) onKeyDown(key, shift);
}

void GridControl::keyPress(char key) {
  if (!reachable()) return;
  if (onKeyPress) onKeyPress(key);
}

void GridControl::colEnter(const std::string& field) {
  if (!reachable()) return;
  if (const int at = IndiceCol(field); at >= 0) setSelectedColumn(at);
  if (onColEnter) onColEnter(field);
}

void GridControl::rowMoved(size_t recNo) {
  if (!reachable() || dataset_ == nullptr || !dataset_->active()) return;
  if (recNo < 1 || recNo > dataset_->recordCount() || recNo == dataset_->recNo()) return;
  dataset_->setRecNo(recNo);
}

// ---------------------------------------------------------------- ScreenModel

ScreenModel::ScreenModel(std::string className, std::string screenCode, std::string caption)
    : className_(std::move(className)),
      screenCode_(std::move(screenCode)),
      caption_(std::move(caption)) {}

ScreenModel::~ScreenModel() = default;

Control& ScreenModel::addControl(const std::string& name, ControlKind kind, Control* parent) {
  BOLETO_CHECK(byName_.count(name) == 0, className_ + " has two controls named " + name);
  controls_.push_back(std::make_unique<Control>(*this, name, kind));
  Control& c = *controls_.back();
  c.setParent(parent);
  byName_.emplace(name, &c);
  return c;
}

PageControl& ScreenModel::addPageControl(const std::string& name, Control* parent) {
  BOLETO_CHECK(byName_.count(name) == 0, className_ + " has two controls named " + name);
  auto pc = std::make_unique<PageControl>(*this, name);
  PageControl& ref = *pc;
  ref.setParent(parent);
  controls_.push_back(std::move(pc));
  byName_.emplace(name, &ref);
  return ref;
}

GridControl& ScreenModel::addGrid(const std::string& name, Control* parent) {
  BOLETO_CHECK(byName_.count(name) == 0, className_ + " has two controls named " + name);
  auto g = std::make_unique<GridControl>(*this, name);
  GridControl& ref = *g;
  ref.setParent(parent);
  controls_.push_back(std::move(g));
  byName_.emplace(name, &ref);
  return ref;
}

Control& ScreenModel::addCommand(const std::string& buttonName, const std::string& menuName,
                                 Control::Handler click) {
  Control& menu = addControl(menuName, ControlKind::MenuItem);
  Control& button = addControl(buttonName, ControlKind::Button);
  menu.addFollower(button);
  menu.onClick = click;
  button.onClick = std::move(click);
  return button;
}

Control* ScreenModel::findControl(std::string_view name) const {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

Control& ScreenModel::control(std::string_view name) const {
  Control* c = findControl(name);
  BOLETO_CHECK(c != nullptr, className_ + " has no control " + std::string(name));
  return *c;
}

PageControl& ScreenModel::pageControl(std::string_view name) const {
  auto* pc = dynamic_cast<PageControl*>(&control(name));
  BOLETO_CHECK(pc != nullptr, std::string(name) + " is not a page control");
  return *pc;
}

GridControl& ScreenModel::grid(std::string_view name) const {
  auto* g = dynamic_cast<GridControl*>(&control(name));
  BOLETO_CHECK(g != nullptr, std::string(name) + " is not a grid");
  return *g;
}

std::vector<std::string> ScreenModel::controlNames() const {
  std::vector<std::string> names;
  names.reserve(byName_.size());
  for (const auto& [n, c] : byName_) names.push_back(n);
  return names;
}

namespace {
// The panels that hold `c`, innermost first: focus entering or leaving them runs their rules.
std::vector<Control*> panelsOf(const Control* c) {
  std::vector<Control*> out;
  for (Control* p = c != nullptr ? c->parent() : nullptr; p != nullptr; p = p->parent()) {
    if (p->kind() == ControlKind::Panel) out.push_back(p);
  }
  return out;
}
bool holds(const std::vector<Control*>& panels, const Control* p) {
  return std::find(panels.begin(), panels.end(), p) != panels.end();
}
}  // namespace

void ScreenModel::focus(Control& c) {
  if (focused_ == &c) return;
  const auto left = panelsOf(focused_);
  const auto entered = panelsOf(&c);
  // Each rule may refuse by raising: the focus then stays where it was.
  if (focused_ != nullptr && focused_->onExit) focused_->onExit();
  for (Control* p : left) {
    if (!holds(entered, p) && p->onExit) p->onExit();
  }
  moveFocus(&c);
  for (auto it = entered.rbegin(); it != entered.rend(); ++it) {
    if (!holds(left, *it) && (*it)->onEnter) (*it)->onEnter();
  }
  if (c.onEnter) c.onEnter();
}

void ScreenModel::moveFocus(Control* to) {
  Control* from = focused_;
  if (from == to) return;
  focused_ = to;
  // A view follows the focus through the controls' observers, like any other state.
  if (from != nullptr) from->changed();
  if (to != nullptr) to->changed();
}

void ScreenModel::failOn(std::string_view controlName, std::string_view key,
                         const std::vector<Value>& args) {
  Control& c = control(controlName);
  // Show the page that holds the field, then the field, as the operator must see it.
  for (Control* p = c.parent(); p != nullptr; p = p->parent()) {
    if (p->kind() == ControlKind::Page && p->parent() != nullptr) {
      if (auto* pc = dynamic_cast<PageControl*>(p->parent())) pc->setActivePage(p->name());
    }
  }
  moveFocus(&c);  // no exit rule: the check that fails is the one running
  error(key, args);
}

void ScreenModel::error(std::string_view key, const std::vector<Value>& args) const {
  messages_.Error(key, args);
}

void ScreenModel::showMsg(std::string_view key, const std::vector<Value>& args) const {
  dialogs().information(messages_.Msg(key, args), caption_);
}

bool ScreenModel::ask(std::string_view key, const std::vector<Value>& args) const {
  return dialogs().question(messages_.Msg(key, args), caption_);
}

bool ScreenModel::run(const std::function<void()>& operation) {
  try {
    operation();
    return true;
  } catch (const OperationError& e) {
    dialogs().error(e.what(), caption_);
  } catch (const ServiceError& e) {
    // The screen's own text for the key; else the service's readable text, not a bare key.
    const bool own = messages_.Has(e.key()) || e.detail().empty();
    dialogs().error(own ? messages_.Msg(e.key()) : e.detail(), caption_);
  } catch (const OperationAborted&) {
  }
  return false;
}

bool ScreenModel::close() {
  if (!canClose()) return false;
  onClose();
  open_ = false;
  return true;
}

// ---------------------------------------------------------------- TfrmPadrao

TfrmPadrao::TfrmPadrao(std::string className, std::string screenCode, std::string caption)
    : ScreenModel(std::move(className), std::move(screenCode), std::move(caption)) {
  messages().Add("Canc", "Cancelar operação?");
  messages().Add("Excl", "Confirma exclusão?");
  addCommand("sbtIncluir", "mnuIncluir", [this] { run([this] { Incluir(); }); });
  addCommand("sbtAlterar", "mnuAlterar", [this] { run([this] { Alterar(); }); });
  addCommand("sbtExcluir", "mnuExcluir", [this] { run([this] { Excluir(); }); });
  addCommand("sbtPesquisar", "mnuPesquisar", [this] { run([this] { Pesquisar(); }); });
  addCommand("sbtVerificar", "mnuVerificar", [this] { run([this] { Verificar(); }); });
  addCommand("sbtFiltrar", "mnuFiltrar", [this] { run([this] { Filtrar(); }); });
  addCommand("sbtCancelar", "mnuCancelar", [this] { run([this] { Cancelar(); }); });
  addCommand("sbtConfirmar", "mnuConfirmar", [this] { run([this] { Confirmar(); }); });
  addCommand("sbtSair", "mnuSair", [this] { close(); });
}

void TfrmPadrao::Incluir() {
  if (main_ != nullptr) main_->append();
  Habilita();
}

void TfrmPadrao::Alterar() {
  if (main_ != nullptr && !main_->isEmpty()) main_->edit();
  Habilita();
}

void TfrmPadrao::Excluir() {
  if (main_ == nullptr || main_->isEmpty()) return;
  if (!ask("Excl")) Abort();
  main_->deleteRecord();
  Habilita();
}

void TfrmPadrao::Cancelar() {
  if (!ask("Canc")) Abort();
  if (main_ != nullptr) main_->cancel();
  Habilita();
}

void TfrmPadrao::Confirmar() {
  if (main_ != nullptr) main_->post();
  Habilita();
}

void TfrmPadrao::Habilita() {
  const bool active = main_ != nullptr && main_->active();
  const bool editing =
      active && (main_->state() == DatasetState::Edit || main_->state() == DatasetState::Insert);
  const bool browse = active && !editing;
  const bool rows = active && !main_->isEmpty();
  control("mnuIncluir").setEnabled(browse);
  control("mnuAlterar").setEnabled(browse && rows);
  control("mnuExcluir").setEnabled(browse && rows);
  control("mnuPesquisar").setEnabled(browse && rows);
  control("mnuVerificar").setEnabled(browse && rows);
  control("mnuFiltrar").setEnabled(!editing);
  control("mnuConfirmar").setEnabled(editing);
  control("mnuCancelar").setEnabled(editing);
}

// ---------------------------------------------------------------- options

void MemoryOptionsStore::save(const std::string& oper, const std::string& screenCode,
                              const std::map<std::string, std::string>& options) {
  saved_[oper + '\n' + screenCode] = options;
}

std::optional<std::map<std::string, std::string>> MemoryOptionsStore::load(
    const std::string& oper, const std::string& screenCode) {
  auto it = saved_.find(oper + '\n' + screenCode);
  if (it == saved_.end()) return std::nullopt;
  return it->second;
}

TfrmFiltroPadrao::TfrmFiltroPadrao(std::string className, std::string screenCode,
                                   std::string caption, std::shared_ptr<OptionsStore> store)
    : ScreenModel(std::move(className), std::move(screenCode), std::move(caption)),
      store_(std::move(store)) {
  addCommand("sbtConfirma", "mnuConfirma", [this] { run([this] { Confirmar(); }); });
  addCommand("sbtCancela", "mnuCancela", [this] { run([this] { Cancelar(); }); });
  addControl("btfSaveOpc", ControlKind::Button).onClick = [this] {
    run([this] { SaveOptions(); });
  };
  addControl("btfLoadOpc", ControlKind::Button).onClick = [this] {
    run([this] { LoadOptions(); });
  };
}

namespace {
bool savesState(ControlKind k) {
  return k == ControlKind::Edit || k == ControlKind::Check || k == ControlKind::Radio ||
         k == ControlKind::Combo || k == ControlKind::Memo;
}
}  // namespace

void TfrmFiltroPadrao::SaveOptions() {
  BOLETO_CHECK(store_ != nullptr, "no options store");
  std::map<std::string, std::string> out;
  for (const auto& name : controlNames()) {
    const Control& c = control(name);
    if (!savesState(c.kind())) continue;
    out["ctl." + name] =
        nlohmann::json{{"text", c.text()}, {"checked", c.checked()}, {"item", c.itemIndex()}}
            .dump();
  }
  for (const auto& [k, v] : optionValues_) out["opt." + k] = v;
  store_->save(Operador(), screenCode(), out);
}

bool TfrmFiltroPadrao::LoadOptions() {
  BOLETO_CHECK(store_ != nullptr, "no options store");
  auto saved = store_->load(Operador(), screenCode());
  if (!saved) return false;
  optionValues_.clear();
  for (const auto& [k, v] : *saved) {
    if (k.rfind("opt.", 0) == 0) {
      optionValues_[k.substr(4)] = v;
    } else if (k.rfind("ctl.", 0) == 0) {
      Control* c = findControl(k.substr(4));
      if (c == nullptr) continue;  // a control that a newer screen no longer has
      const auto j = nlohmann::json::parse(v, nullptr, false);
      if (j.is_discarded() || !j.is_object()) continue;
      c->setText(j.value("text", std::string()));
      c->setChecked(j.value("checked", false));
      c->setItemIndex(j.value("item", -1));
    }
  }
  return true;
}

}  // namespace host
