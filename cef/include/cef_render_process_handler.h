// Hooks of the render process. This library runs no renderer of its own,
// so only the process-wide notification is offered.
#ifndef CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
#define CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
#pragma once

#include "include/cef_base.h"

// Called on the render process's main thread.
class CefRenderProcessHandler : public virtual CefBaseRefCounted {
 public:
  // After WebKit has been initialised.
  virtual void OnWebKitInitialized() {}
};

#endif  // CEF_INCLUDE_CEF_RENDER_PROCESS_HANDLER_H_
