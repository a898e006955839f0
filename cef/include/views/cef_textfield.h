#ifndef CEF_INCLUDE_VIEWS_CEF_TEXTFIELD_H_
#define CEF_INCLUDE_VIEWS_CEF_TEXTFIELD_H_
#pragma once

#include "include/views/cef_view.h"

// This runtime makes no Textfield views; the class exists so CefView::AsTextfield()
// keeps its shape.
class CefTextfield : public CefView {};

#endif  // CEF_INCLUDE_VIEWS_CEF_TEXTFIELD_H_
