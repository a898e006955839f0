#ifndef CEF_INCLUDE_CEF_STRING_VISITOR_H_
#define CEF_INCLUDE_CEF_STRING_VISITOR_H_
#pragma once

#include "include/cef_base.h"

// Receives string values asynchronously (CefFrame::GetSource/GetText).
class CefStringVisitor : public virtual CefBaseRefCounted {
 public:
  virtual void Visit(const CefString& string) = 0;
};

#endif  // CEF_INCLUDE_CEF_STRING_VISITOR_H_
