// Command-line parsing and building, with Chromium's switch syntax.
//
// Switches start with "--", "-" or "/" and may carry a value after "=".
// Switch names are stored in lower case; values keep theirs. A lone "--"
// ends switch parsing: everything after it is an argument. GetArgv() lists
// the program, then every switch, then every argument, whatever order they
// were given or appended in.
#ifndef CEF_INCLUDE_CEF_COMMAND_LINE_H_
#define CEF_INCLUDE_CEF_COMMAND_LINE_H_
#pragma once

#include <map>
#include <vector>

#include "include/cef_base.h"

/*--cef(source=library)--*/
class CefCommandLine : public virtual CefBaseRefCounted {
 public:
  typedef std::vector<CefString> ArgumentList;
  typedef std::map<CefString, CefString> SwitchMap;

  // A new, empty, writable command line. Usable before CefInitialize.
  static CefRefPtr<CefCommandLine> CreateCommandLine();

  // The process's own command line (read-only).
  static CefRefPtr<CefCommandLine> GetGlobalCommandLine();

  virtual bool IsValid() = 0;

  // Read-only objects ignore every change.
  virtual bool IsReadOnly() = 0;

  // A writable copy.
  virtual CefRefPtr<CefCommandLine> Copy() = 0;

  // argv[0] is the program. Not supported on Windows.
  virtual void InitFromArgv(int argc, const char* const* argv) = 0;

  // Parses a GetCommandLineW()-style string. Windows only. An empty or
  // all-blank string leaves the object unchanged.
  virtual void InitFromString(const CefString& command_line) = 0;

  // Drops all switches and arguments, keeps the program.
  virtual void Reset() = 0;

  // The program, the switches and the arguments, one token each.
  virtual void GetArgv(std::vector<CefString>& argv) = 0;

  // The whole command line, quoted so that CommandLineToArgvW splits it back
  // into the same tokens.
  virtual CefString GetCommandLineString() = 0;

  virtual CefString GetProgram() = 0;

  virtual void SetProgram(const CefString& program) = 0;

  virtual bool HasSwitches() = 0;

  // `name` is given without prefix.
  virtual bool HasSwitch(const CefString& name) = 0;

  // Empty when the switch is absent or has no value.
  virtual CefString GetSwitchValue(const CefString& name) = 0;

  // Names without prefix, mapped to their values.
  virtual void GetSwitches(SwitchMap& switches) = 0;

  // Adds "--name" (a name given with a prefix keeps it).
  virtual void AppendSwitch(const CefString& name) = 0;

  // Adds "--name=value"; an empty value adds a plain switch.
  virtual void AppendSwitchWithValue(const CefString& name, const CefString& value) = 0;

  // Removes the switch; nothing happens when it is absent.
  virtual void RemoveSwitch(const CefString& name) = 0;

  virtual bool HasArguments() = 0;

  // The arguments, without the first "--" terminator.
  virtual void GetArguments(ArgumentList& arguments) = 0;

  virtual void AppendArgument(const CefString& argument) = 0;

  // Inserts a wrapper command (split on spaces, quotes honoured) before the
  // program, e.g. "gdb --args".
  virtual void PrependWrapper(const CefString& wrapper) = 0;
};

#endif  // CEF_INCLUDE_CEF_COMMAND_LINE_H_
