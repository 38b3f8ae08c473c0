#pragma once
// Headless screen models: named controls with the state a view shows, page controls, menu
// items that buttons follow, focus with enter/exit rules, modal results, and the base
// screens every screen of the module is built on.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/GridKeys.h"
#include "host/Messages.h"
#include "host/Value.h"

namespace host {

class ScreenModel;
class ClientDataset;

enum class ControlKind {
  Edit,
  Button,
  MenuItem,
  Check,
  Radio,
  Combo,
  Label,
  Page,
  PageControl,
  Grid,
  Panel,
  Memo
};

/// One named control. Views observe it and mirror its state both ways; the screen's logic
/// only ever talks to controls.
class Control {
 public:
  using Handler = std::function<void()>;
  using Observer = std::function<void(const Control&)>;

  Control(ScreenModel& owner, std::string name, ControlKind kind);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& name() const { return name_; }
  ControlKind kind() const { return kind_; }
  ScreenModel& owner() const { return owner_; }

  bool enabled() const { return enabled_; }
  void setEnabled(bool on);
  bool visible() const { return visible_; }
  void setVisible(bool on);
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool on);
  const std::string& text() const { return text_; }
  /// Sets the text from the program: no change event (as a view refresh would).
  void setText(std::string text);
  const std::string& caption() const { return caption_; }
  void setCaption(std::string caption);
  bool checked() const { return checked_; }
  void setChecked(bool on);
  int itemIndex() const { return itemIndex_; }
  void setItemIndex(int index);
  const std::vector<std::string>& items() const { return items_; }
  void setItems(std::vector<std::string> items);
  bool focused() const;
  /// Moves the focus here (the previous control's exit rule runs first and may refuse).
  void setFocus();
  /// May the operator reach it? Enabled and visible, and so is its parent chain.
  bool reachable() const;
  Control* parent() const { return parent_; }
  void setParent(Control* parent) { parent_ = parent; }

  // --- operator input, as a view reports it
  /// The operator typed: the text changes and the change rule runs.
  void type(std::string text);
  /// A click: runs the click rule when the control is reachable; refused silently otherwise.
  void click();
  /// The operator chose an item (combo, radio group): the change rule runs.
  void choose(int index);
  /// The operator ticked or cleared a check box.
  void toggle();

  // --- rules
  Handler onClick, onChange, onEnter, onExit;

  /// `other` follows this control's enabled state (a button following its menu item).
  void addFollower(Control& other);

  int observe(Observer observer);
  void unobserve(int id);

 protected:
  void changed();

 private:
  friend class ScreenModel;  // announces focus moves
  ScreenModel& owner_;
  std::string name_;
  ControlKind kind_;
  bool enabled_ = true;
  bool visible_ = true;
  bool readOnly_ = false;
  bool checked_ = false;
  int itemIndex_ = -1;
  std::string text_;
  std::string caption_;
  std::vector<std::string> items_;
  Control* parent_ = nullptr;
  std::vector<Control*> followers_;
  std::map<int, Observer> observers_;
  int nextObserver_ = 1;
};

/// Pages with one of them shown; showing a page runs the control's change rule.
class PageControl final : public Control {
 public:
  PageControl(ScreenModel& owner, std::string name);
  /// Adds a page (a control of kind Page) and, when given, the menu item that follows it.
  Control& addPage(const std::string& pageName, const std::string& caption,
                   Control* menuItem = nullptr);
  const std::vector<Control*>& pages() const { return pages_; }
  Control* activePage() const { return active_; }
  bool isShown(std::string_view pageName) const;
  /// Shows a page from the program (no change rule), as the host's ActivePage := does.
  void setActivePage(std::string_view pageName);
  /// The operator (or a menu command) shows a page: refused silently when the page is not
  /// reachable; the change rule runs after the page changed.
  void showPage(std::string_view pageName);
  /// Enables or disables a page and the menu item that follows it.
  void setPageEnabled(std::string_view pageName, bool on);

 private:
  Control& page(std::string_view pageName);
  std::vector<Control*> pages_;
  std::map<std::string, Control*, std::less<>> menuOfPage_;
  Control* active_ = nullptr;
};

/// One column of a grid: the field it shows, its title, width in pixels and visibility.
struct GridColumn {
  std::string field;
  std::string title;
  int width = 64;
  bool visible = true;
};

/// A grid over a dataset: its columns in display order and whether a whole row is selected
/// (off: single cells can be entered). The view draws the rows from the dataset, shows coded
/// fields through the grid's display rules and reports the operator's input through the
/// entry points below, which run the handlers the screen set.
class GridControl final : public Control {
 public:
  GridControl(ScreenModel& owner, std::string name);

  /// The dataset whose rows the grid shows (the screen keeps ownership; null: none yet).
  ClientDataset* dataset() const { return dataset_; }
  /// Announced to the observers, so a view can follow a grid put over another dataset.
  void setDataset(ClientDataset* dataset);

  /// How a field's values read in the grid when its display format is not enough (a status
  /// code shown as its name).
  using DisplayRule = std::function<std::string(const Value&)>;
  void setDisplayRule(const std::string& field, DisplayRule rule);
  /// The rule of `field`, or null when the field shows its display format.
  const DisplayRule* displayRule(std::string_view field) const;

  // --- the grid's events, set by the screen
  std::function<void(const std::string& field)> onTitleClick;
  std::function<void()> onDblClick;
  /// A key down; the handler sets the key to GridKey::None to swallow it.
  std::function<void(GridKey& key, ShiftState shift)> onKeyDown;
  std::function<void(char key)> onKeyPress;
  std::function<void(const std::string& field)> onColEnter;

  // --- operator input, as a view reports it; each is refused silently (nothing runs, a key
  // stays as it was) when the grid is not reachable, like Control::click.
  /// A click on the title of the column showing `field`.
  void titleClick(const std::string& field);
  void dblClick();
  void keyDown(GridKey& key, ShiftState shift);
  /// A character typed (after its key down was not swallowed).
  void keyPress(char key);
  /// The cursor entered the column of `field`: it becomes the selected column, then the
  /// handler runs.
  void colEnter(const std::string& field);
  /// The operator moved to row `recNo` (1-based): the dataset's cursor goes there with its
  /// events, as any move of the cursor (a pending edit is posted first, and a refused post
  /// keeps the cursor). A row that is not there is ignored.
  void rowMoved(size_t recNo);
  const std::vector<GridColumn>& columns() const { return columns_; }
  void setColumns(std::vector<GridColumn> columns);
  void addColumn(GridColumn column);
  /// Position of the column that shows `field`, or -1 (the host's IndiceCol).
  int IndiceCol(std::string_view field) const;
  GridColumn& column(std::string_view field);
  /// Removes the column of `field` when there is one (the host's DestroiColuna).
  void DestroiColuna(std::string_view field);
  /// Moves the column at `from` to position `to`, shifting the others.
  void moveColumn(size_t from, size_t to);
  bool rowSelect() const { return rowSelect_; }
  void setRowSelect(bool on);
  /// The column the cursor is on (-1 when none).
  int selectedColumn() const { return selected_; }
  void setSelectedColumn(int index);

 private:
  std::vector<GridColumn> columns_;
  bool rowSelect_ = true;
  int selected_ = -1;
  ClientDataset* dataset_ = nullptr;
  std::map<std::string, DisplayRule, std::less<>> rules_;
};

/// What the screen tells its caller when it closes.
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

/// The base of every screen model.
class ScreenModel {
 public:
  ScreenModel(std::string className, std::string screenCode, std::string caption);
  virtual ~ScreenModel();
  ScreenModel(const ScreenModel&) = delete;
  ScreenModel& operator=(const ScreenModel&) = delete;

  const std::string& className() const { return className_; }
  const std::string& screenCode() const { return screenCode_; }
  const std::string& caption() const { return caption_; }
  void setCaption(std::string c) { caption_ = std::move(c); }

  Control& addControl(const std::string& name, ControlKind kind, Control* parent = nullptr);
  PageControl& addPageControl(const std::string& name, Control* parent = nullptr);
  GridControl& addGrid(const std::string& name, Control* parent = nullptr);
  /// A button and its menu item: the button follows the item, both run `click`.
  Control& addCommand(const std::string& buttonName, const std::string& menuName,
                      Control::Handler click);
  /// The control of that name; throws InvariantError naming the screen when there is none.
  Control& control(std::string_view name) const;
  PageControl& pageControl(std::string_view name) const;
  GridControl& grid(std::string_view name) const;
  Control* findControl(std::string_view name) const;
  std::vector<std::string> controlNames() const;

  Control* focusedControl() const { return focused_; }
  /// Moves the focus; the previous control's exit rule may refuse (its error propagates
  /// and the focus stays).
  void focus(Control& c);
  /// Focuses a field and raises the message of `key` from the screen's table: the check
  /// pattern every validation follows.
  [[noreturn]] void failOn(std::string_view controlName, std::string_view key,
                           const std::vector<Value>& args = {});

  TMessages& messages() { return messages_; }
  const TMessages& messages() const { return messages_; }
  /// Raises the text of `key` (MensErro with the screen's table).
  [[noreturn]] void error(std::string_view key, const std::vector<Value>& args = {}) const;
  /// Shows the text of `key` as information.
  void showMsg(std::string_view key, const std::vector<Value>& args = {}) const;
  /// Asks the yes/no question of `key`.
  bool ask(std::string_view key, const std::vector<Value>& args = {}) const;

  /// Runs an operator's operation as the host does: an OperationError is shown as an error
  /// box with the screen's caption, a silent abort shows nothing; true when it completed.
  bool run(const std::function<void()>& operation);

  int modalResult() const { return modalResult_; }
  void setModalResult(int r) { modalResult_ = r; }
  bool isOpen() const { return open_; }
  void markShown() { open_ = true; }
  /// Asks to close: `canClose` may refuse; on success the close rule runs.
  bool close();

 protected:
  virtual bool canClose() { return true; }
  virtual void onClose() {}

 private:
  friend class Control;
  void moveFocus(Control* to);
  std::string className_;
  std::string screenCode_;
  std::string caption_;
  std::vector<std::unique_ptr<Control>> controls_;
  std::map<std::string, Control*, std::less<>> byName_;
  Control* focused_ = nullptr;
  TMessages messages_;
  int modalResult_ = mrNone;
  bool open_ = false;
};

/// Browse-and-edit base screen: include, change, delete, search, verify, filter, cancel and
/// confirm, each a button following its menu item, over a main dataset.
class TfrmPadrao : public ScreenModel {
 public:
  TfrmPadrao(std::string className, std::string screenCode, std::string caption);

  /// The dataset the base commands work on (the screen keeps ownership).
  void setMainDataset(ClientDataset* ds) { main_ = ds; }
  ClientDataset* mainDataset() const { return main_; }

  // The commands a screen overrides per page; the defaults act on the main dataset.
  virtual void Incluir();
  virtual void Alterar();
  /// Asks "Excl" and deletes the current row.
  virtual void Excluir();
  virtual void Pesquisar() {}
  virtual void Verificar() {}
  virtual void Filtrar() {}
  /// Asks "Canc" and cancels the edit.
  virtual void Cancelar();
  virtual void Confirmar();
  /// The base rules: include/change/delete/search in browse state, confirm/cancel while
  /// editing. Screens with their own command table override it.
  virtual void Habilita();

 private:
  ClientDataset* main_ = nullptr;
};

/// Where the filter screens keep their saved options: per operator and screen.
class OptionsStore {
 public:
  virtual ~OptionsStore() = default;
  virtual void save(const std::string& oper, const std::string& screenCode,
                    const std::map<std::string, std::string>& options) = 0;
  /// Nothing when the operator never saved options for the screen.
  virtual std::optional<std::map<std::string, std::string>> load(const std::string& oper,
                                                                 const std::string& screenCode) = 0;
};

class MemoryOptionsStore final : public OptionsStore {
 public:
  void save(const std::string& oper, const std::string& screenCode,
            const std::map<std::string, std::string>& options) override;
  std::optional<std::map<std::string, std::string>> load(const std::string& oper,
                                                         const std::string& screenCode) override;

 private:
  std::map<std::string, std::map<std::string, std::string>> saved_;
};

/// Filter base screen: confirm and cancel, and saved options. The saved options are the
/// state of every edit, check, radio and combo control (text, checked, item index) plus
/// the option values a screen adds under its own keys.
class TfrmFiltroPadrao : public ScreenModel {
 public:
  TfrmFiltroPadrao(std::string className, std::string screenCode, std::string caption,
                   std::shared_ptr<OptionsStore> store);

  /// Extra values a screen saves with the controls (lists kept outside controls).
  std::map<std::string, std::string>& optionValues() { return optionValues_; }

  /// Saves the options for the context's operator.
  void SaveOptions();
  /// Loads them back; false when nothing was saved.
  bool LoadOptions();

  virtual void Confirmar() { setModalResult(mrOk); }
  virtual void Cancelar() { setModalResult(mrCancel); }

 private:
  std::shared_ptr<OptionsStore> store_;
  std::map<std::string, std::string> optionValues_;
};

}  // namespace host
