#ifndef CEF_INCLUDE_CEF_MENU_MODEL_DELEGATE_H_
#define CEF_INCLUDE_CEF_MENU_MODEL_DELEGATE_H_
#pragma once

#include "include/cef_base.h"

class CefMenuModel;

// Receives the commands of a menu created with CefMenuModel::CreateMenuModel.
// UI thread.
class CefMenuModelDelegate : public virtual CefBaseRefCounted {
 public:
  virtual void ExecuteCommand(CefRefPtr<CefMenuModel> menu_model, int command_id, cef_event_flags_t event_flags) = 0;
  virtual void MenuWillShow(CefRefPtr<CefMenuModel> menu_model) {}
  virtual void MenuClosed(CefRefPtr<CefMenuModel> menu_model) {}
  virtual bool FormatLabel(CefRefPtr<CefMenuModel> menu_model, CefString& label) { return false; }
};

#endif  // CEF_INCLUDE_CEF_MENU_MODEL_DELEGATE_H_
