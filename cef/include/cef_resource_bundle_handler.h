// Supplies localised strings and binary resources to the library.
#ifndef CEF_INCLUDE_CEF_RESOURCE_BUNDLE_HANDLER_H_
#define CEF_INCLUDE_CEF_RESOURCE_BUNDLE_HANDLER_H_
#pragma once

#include "include/cef_base.h"

// Called on several threads of every process.
class CefResourceBundleHandler : public virtual CefBaseRefCounted {
 public:
  typedef cef_scale_factor_t ScaleFactor;

  // Return true and fill |string| to supply the text of |string_id|.
  virtual bool GetLocalizedString(int string_id, CefString& string) = 0;

  // Return true with |data| and |data_size| pointing at memory that stays
  // valid for the process's life to supply |resource_id|.
  virtual bool GetDataResource(int resource_id, void*& data, size_t& data_size) = 0;

  virtual bool GetDataResourceForScale(int resource_id, ScaleFactor scale_factor, void*& data, size_t& data_size) = 0;
};

#endif  // CEF_INCLUDE_CEF_RESOURCE_BUNDLE_HANDLER_H_
