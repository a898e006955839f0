#ifndef CEF_INCLUDE_VIEWS_CEF_SCROLL_VIEW_H_
#define CEF_INCLUDE_VIEWS_CEF_SCROLL_VIEW_H_
#pragma once

#include "include/views/cef_view.h"

// This runtime makes no ScrollView views; the class exists so CefView::AsScrollView()
// keeps its shape.
class CefScrollView : public CefView {};

#endif  // CEF_INCLUDE_VIEWS_CEF_SCROLL_VIEW_H_
