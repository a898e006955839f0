// Lets the client decide about a renderer that stopped responding.
#ifndef CEF_INCLUDE_CEF_UNRESPONSIVE_PROCESS_CALLBACK_H_
#define CEF_INCLUDE_CEF_UNRESPONSIVE_PROCESS_CALLBACK_H_
#pragma once

#include "include/cef_base.h"

// Any thread.
class CefUnresponsiveProcessCallback : public virtual CefBaseRefCounted {
 public:
  // Keep waiting: the hang timeout starts over.
  virtual void Wait() = 0;

  // End the unresponsive process.
  virtual void Terminate() = 0;
};

#endif  // CEF_INCLUDE_CEF_UNRESPONSIVE_PROCESS_CALLBACK_H_
