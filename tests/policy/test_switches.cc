#include "core/command_line_global.h"
#include "include/cef_command_line.h"
#include "test_contexts.h"

namespace policy_test {

void SetGlobalSwitches(bool disableQuic) {
  CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
  commandLine->SetProgram("KESTA.exe");
  commandLine->AppendSwitch("disable-chrome-login-prompt");
  // QUIC is off only when the switch itself is there; its opposite does not count.
  commandLine->AppendSwitch(disableQuic ? "disable-quic" : "enable-quic");
  cef_internal::SetGlobalCommandLine(commandLine);
}

}  // namespace policy_test
