// Linkage of the CEF library's C functions. The stand-in is linked
// statically, so the export macro carries no storage attribute.
#ifndef CEF_INCLUDE_INTERNAL_CEF_EXPORT_H_
#define CEF_INCLUDE_INTERNAL_CEF_EXPORT_H_
#pragma once

#define CEF_EXPORT
#if defined(_WIN32)
#define CEF_CALLBACK __stdcall
#else
#define CEF_CALLBACK
#endif

#endif  // CEF_INCLUDE_INTERNAL_CEF_EXPORT_H_
