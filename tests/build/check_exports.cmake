# KESTA.dll's export directory must be named KESTA.dll and hold exactly one
# export, RunWinMain, at ordinal 1.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()
string(REGEX MATCH "The Export Tables.*\\[Ordinal/Name Pointer\\] Table\n[^\n]*\n" exports "${dump}")
if(NOT exports)
  message(FATAL_ERROR "no export table in ${DLL}")
endif()
foreach(pattern
    "Name[ \t]+[0-9a-fA-F]+ KESTA\\.dll\n"
    "Ordinal Base[ \t]+1\n"
    "Export Address Table[ \t]+0+1\n"
    "\\[Name Pointer/Ordinal\\] Table[ \t]+0+1\n"
    "\\[[ ]*0\\] \\+base\\[[ ]*1\\]"
    "Table\n[ \t]*\\[[ ]*0\\] RunWinMain\n$")
  if(NOT exports MATCHES "${pattern}")
    message(FATAL_ERROR "export table does not match '${pattern}':\n${exports}")
  endif()
endforeach()
