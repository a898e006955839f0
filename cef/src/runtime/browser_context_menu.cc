#include "runtime/browser_context_menu.h"

#include <string>

#include "runtime/browser_frame_impl.h"
#include "runtime/browser_host_impl.h"

namespace cef_internal {
namespace {

struct MenuItem {
  cef_menu_item_type_t type = MENUITEMTYPE_NONE;
  int command_id = -1;
  CefString label;
  int group_id = -1;
  bool visible = true;
  bool enabled = true;
  bool checked = false;
  CefRefPtr<CefMenuModel> submenu;
};

class MenuModelImpl : public CefMenuModel {
 public:
  MenuModelImpl(CefRefPtr<CefMenuModelDelegate> delegate, bool is_submenu)
      : delegate_(delegate), is_submenu_(is_submenu) {}

  bool IsSubMenu() override { return is_submenu_; }
  bool Clear() override {
    items_.clear();
    return true;
  }
  size_t GetCount() override { return items_.size(); }

  bool AddSeparator() override { return InsertSeparatorAt(items_.size()); }
  bool AddItem(int command_id, const CefString& label) override {
    return Insert(items_.size(), MENUITEMTYPE_COMMAND, command_id, label);
  }
  bool AddCheckItem(int command_id, const CefString& label) override {
    return Insert(items_.size(), MENUITEMTYPE_CHECK, command_id, label);
  }
  bool AddRadioItem(int command_id, const CefString& label, int group_id) override {
    if (!Insert(items_.size(), MENUITEMTYPE_RADIO, command_id, label))
      return false;
    items_.back().group_id = group_id;
    return true;
  }
  CefRefPtr<CefMenuModel> AddSubMenu(int command_id, const CefString& label) override {
    if (!Insert(items_.size(), MENUITEMTYPE_SUBMENU, command_id, label))
      return nullptr;
    items_.back().submenu = new MenuModelImpl(delegate_, true);
    return items_.back().submenu;
  }
  bool InsertSeparatorAt(size_t index) override {
    if (index > items_.size())
      return false;
    MenuItem item;
    item.type = MENUITEMTYPE_SEPARATOR;
    items_.insert(items_.begin() + static_cast<long>(index), item);
    return true;
  }
  bool InsertItemAt(size_t index, int command_id, const CefString& label) override {
    return Insert(index, MENUITEMTYPE_COMMAND, command_id, label);
  }

  bool Remove(int command_id) override {
    int index = GetIndexOf(command_id);
    return index >= 0 && RemoveAt(static_cast<size_t>(index));
  }
  bool RemoveAt(size_t index) override {
    if (index >= items_.size())
      return false;
    items_.erase(items_.begin() + static_cast<long>(index));
    return true;
  }

  int GetIndexOf(int command_id) override {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].type != MENUITEMTYPE_SEPARATOR && items_[i].command_id == command_id) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  int GetCommandIdAt(size_t index) override { return index < items_.size() ? items_[index].command_id : -1; }
  bool SetCommandIdAt(size_t index, int command_id) override {
    if (index >= items_.size() || items_[index].type == MENUITEMTYPE_SEPARATOR)
      return false;
    items_[index].command_id = command_id;
    return true;
  }

  CefString GetLabel(int command_id) override { return GetLabelAt(IndexOf(command_id)); }
  CefString GetLabelAt(size_t index) override { return index < items_.size() ? items_[index].label : CefString(); }
  bool SetLabel(int command_id, const CefString& label) override { return SetLabelAt(IndexOf(command_id), label); }
  bool SetLabelAt(size_t index, const CefString& label) override {
    if (index >= items_.size())
      return false;
    items_[index].label = label;
    return true;
  }

  MenuItemType GetType(int command_id) override { return GetTypeAt(IndexOf(command_id)); }
  MenuItemType GetTypeAt(size_t index) override {
    return index < items_.size() ? items_[index].type : MENUITEMTYPE_NONE;
  }

  CefRefPtr<CefMenuModel> GetSubMenu(int command_id) override { return GetSubMenuAt(IndexOf(command_id)); }
  CefRefPtr<CefMenuModel> GetSubMenuAt(size_t index) override {
    return index < items_.size() ? items_[index].submenu : nullptr;
  }

  bool IsVisible(int command_id) override { return IsVisibleAt(IndexOf(command_id)); }
  bool IsVisibleAt(size_t index) override { return index < items_.size() && items_[index].visible; }
  bool SetVisible(int command_id, bool visible) override { return SetVisibleAt(IndexOf(command_id), visible); }
  bool SetVisibleAt(size_t index, bool visible) override {
    if (index >= items_.size())
      return false;
    items_[index].visible = visible;
    return true;
  }

  bool IsEnabled(int command_id) override { return IsEnabledAt(IndexOf(command_id)); }
  bool IsEnabledAt(size_t index) override { return index < items_.size() && items_[index].enabled; }
  bool SetEnabled(int command_id, bool enabled) override { return SetEnabledAt(IndexOf(command_id), enabled); }
  bool SetEnabledAt(size_t index, bool enabled) override {
    if (index >= items_.size())
      return false;
    items_[index].enabled = enabled;
    return true;
  }

  bool IsChecked(int command_id) override { return IsCheckedAt(IndexOf(command_id)); }
  bool IsCheckedAt(size_t index) override { return index < items_.size() && items_[index].checked; }
  bool SetChecked(int command_id, bool checked) override { return SetCheckedAt(IndexOf(command_id), checked); }
  bool SetCheckedAt(size_t index, bool checked) override {
    if (index >= items_.size())
      return false;
    if (items_[index].type != MENUITEMTYPE_CHECK && items_[index].type != MENUITEMTYPE_RADIO) {
      return false;
    }
    items_[index].checked = checked;
    return true;
  }

 private:
  // size_t(-1) for an unknown command, which every accessor treats as out
  // of range.
  size_t IndexOf(int command_id) {
    int index = GetIndexOf(command_id);
    return index < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(index);
  }

  bool Insert(size_t index, cef_menu_item_type_t type, int command_id, const CefString& label) {
    if (index > items_.size() || command_id == -1)
      return false;
    MenuItem item;
    item.type = type;
    item.command_id = command_id;
    item.label = label;
    items_.insert(items_.begin() + static_cast<long>(index), item);
    return true;
  }

  CefRefPtr<CefMenuModelDelegate> delegate_;
  const bool is_submenu_;
  std::vector<MenuItem> items_;
  IMPLEMENT_REFCOUNTING(MenuModelImpl);
};

class ContextMenuParamsImpl : public CefContextMenuParams {
 public:
  ContextMenuParamsImpl(int x, int y, std::string page_url, std::string frame_url, bool is_sub)
      : x_(x), y_(y), page_url_(std::move(page_url)), frame_url_(std::move(frame_url)), is_sub_(is_sub) {}

  int GetXCoord() override { return x_; }
  int GetYCoord() override { return y_; }
  TypeFlags GetTypeFlags() override {
    return static_cast<TypeFlags>(CM_TYPEFLAG_PAGE | (is_sub_ ? CM_TYPEFLAG_FRAME : 0));
  }
  CefString GetLinkUrl() override { return CefString(); }
  CefString GetUnfilteredLinkUrl() override { return CefString(); }
  CefString GetSourceUrl() override { return CefString(); }
  bool HasImageContents() override { return false; }
  CefString GetTitleText() override { return CefString(); }
  CefString GetPageUrl() override { return page_url_; }
  CefString GetFrameUrl() override { return frame_url_; }
  CefString GetFrameCharset() override { return "UTF-8"; }
  MediaType GetMediaType() override { return CM_MEDIATYPE_NONE; }
  MediaStateFlags GetMediaStateFlags() override { return CM_MEDIAFLAG_NONE; }
  CefString GetSelectionText() override { return CefString(); }
  CefString GetMisspelledWord() override { return CefString(); }
  bool GetDictionarySuggestions(std::vector<CefString>& suggestions) override {
    suggestions.clear();
    return false;
  }
  bool IsEditable() override { return false; }
  bool IsSpellCheckEnabled() override { return false; }
  EditStateFlags GetEditStateFlags() override { return CM_EDITFLAG_NONE; }
  bool IsCustomMenu() override { return false; }

 private:
  const int x_;
  const int y_;
  const std::string page_url_;
  const std::string frame_url_;
  const bool is_sub_;
  IMPLEMENT_REFCOUNTING(ContextMenuParamsImpl);
};

class RunMenuCallback : public CefRunContextMenuCallback {
 public:
  void Continue(int command_id, cef_event_flags_t event_flags) override {}
  void Cancel() override {}

 private:
  IMPLEMENT_REFCOUNTING(RunMenuCallback);
};

}  // namespace

ContextMenuOutcome RunContextMenu(CefRefPtr<BrowserHostImpl> browser, CefRefPtr<FrameImpl> frame, int x, int y) {
  ContextMenuOutcome outcome;
  if (!browser || !browser->IsValid() || !frame)
    return outcome;

  // The page menu CEF starts with.
  CefRefPtr<MenuModelImpl> model = new MenuModelImpl(nullptr, false);
  model->AddItem(MENU_ID_BACK, "&Back");
  model->AddItem(MENU_ID_FORWARD, "&Forward");
  model->AddSeparator();
  model->AddItem(MENU_ID_PRINT, "&Print...");
  model->AddItem(MENU_ID_VIEW_SOURCE, "View s&ource");
  model->SetEnabled(MENU_ID_BACK, browser->CanGoBack());
  model->SetEnabled(MENU_ID_FORWARD, browser->CanGoForward());

  CefRefPtr<CefContextMenuParams> params =
      new ContextMenuParamsImpl(x, y, browser->main_frame()->url(), frame->url(), !frame->IsMain());
  CefRefPtr<CefClient> client = browser->GetClient();
  CefRefPtr<CefContextMenuHandler> handler = client ? client->GetContextMenuHandler() : nullptr;
  if (handler)
    handler->OnBeforeContextMenu(browser.get(), frame.get(), params, model.get());

  // An emptied model means no menu at all.
  if (model->GetCount() == 0 || !browser->IsValid())
    return outcome;
  for (size_t i = 0; i < model->GetCount(); ++i) {
    outcome.command_ids.push_back(model->GetTypeAt(i) == MENUITEMTYPE_SEPARATOR ? -1 : model->GetCommandIdAt(i));
  }
  outcome.shown = true;
  if (handler) {
    outcome.handled_by_client =
        handler->RunContextMenu(browser.get(), frame.get(), params, model.get(), new RunMenuCallback());
  }
  // The runtime's own menu is dismissed at once: nothing is drawn here.
  if (!outcome.handled_by_client && handler) {
    handler->OnContextMenuDismissed(browser.get(), frame.get());
  }
  return outcome;
}

}  // namespace cef_internal

CefRefPtr<CefMenuModel> CefMenuModel::CreateMenuModel(CefRefPtr<CefMenuModelDelegate> delegate) {
  return new cef_internal::MenuModelImpl(delegate, false);
}
