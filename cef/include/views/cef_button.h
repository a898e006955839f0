#ifndef CEF_INCLUDE_VIEWS_CEF_BUTTON_H_
#define CEF_INCLUDE_VIEWS_CEF_BUTTON_H_
#pragma once

#include "include/views/cef_view.h"

// This runtime makes no Button views; the class exists so CefView::AsButton()
// keeps its shape.
class CefButton : public CefView {};

#endif  // CEF_INCLUDE_VIEWS_CEF_BUTTON_H_
