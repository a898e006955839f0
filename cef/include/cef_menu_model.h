#ifndef CEF_INCLUDE_CEF_MENU_MODEL_H_
#define CEF_INCLUDE_CEF_MENU_MODEL_H_
#pragma once

#include "include/cef_base.h"
#include "include/cef_menu_model_delegate.h"

// A menu: commands, separators and sub-menus. UI thread.
class CefMenuModel : public virtual CefBaseRefCounted {
 public:
  typedef cef_menu_item_type_t MenuItemType;

  static CefRefPtr<CefMenuModel> CreateMenuModel(CefRefPtr<CefMenuModelDelegate> delegate);

  virtual bool IsSubMenu() = 0;
  // Removes every item; a context menu left empty is not shown.
  virtual bool Clear() = 0;
  virtual size_t GetCount() = 0;

  virtual bool AddSeparator() = 0;
  virtual bool AddItem(int command_id, const CefString& label) = 0;
  virtual bool AddCheckItem(int command_id, const CefString& label) = 0;
  virtual bool AddRadioItem(int command_id, const CefString& label, int group_id) = 0;
  virtual CefRefPtr<CefMenuModel> AddSubMenu(int command_id, const CefString& label) = 0;
  virtual bool InsertSeparatorAt(size_t index) = 0;
  virtual bool InsertItemAt(size_t index, int command_id, const CefString& label) = 0;

  virtual bool Remove(int command_id) = 0;
  virtual bool RemoveAt(size_t index) = 0;

  // -1 when absent.
  virtual int GetIndexOf(int command_id) = 0;
  // -1 for an invalid index or a separator.
  virtual int GetCommandIdAt(size_t index) = 0;
  virtual bool SetCommandIdAt(size_t index, int command_id) = 0;

  virtual CefString GetLabel(int command_id) = 0;
  virtual CefString GetLabelAt(size_t index) = 0;
  virtual bool SetLabel(int command_id, const CefString& label) = 0;
  virtual bool SetLabelAt(size_t index, const CefString& label) = 0;

  virtual MenuItemType GetType(int command_id) = 0;
  virtual MenuItemType GetTypeAt(size_t index) = 0;

  virtual CefRefPtr<CefMenuModel> GetSubMenu(int command_id) = 0;
  virtual CefRefPtr<CefMenuModel> GetSubMenuAt(size_t index) = 0;

  virtual bool IsVisible(int command_id) = 0;
  virtual bool IsVisibleAt(size_t index) = 0;
  virtual bool SetVisible(int command_id, bool visible) = 0;
  virtual bool SetVisibleAt(size_t index, bool visible) = 0;

  virtual bool IsEnabled(int command_id) = 0;
  virtual bool IsEnabledAt(size_t index) = 0;
  virtual bool SetEnabled(int command_id, bool enabled) = 0;
  virtual bool SetEnabledAt(size_t index, bool enabled) = 0;

  virtual bool IsChecked(int command_id) = 0;
  virtual bool IsCheckedAt(size_t index) = 0;
  virtual bool SetChecked(int command_id, bool checked) = 0;
  virtual bool SetCheckedAt(size_t index, bool checked) = 0;
};

#endif  // CEF_INCLUDE_CEF_MENU_MODEL_H_
