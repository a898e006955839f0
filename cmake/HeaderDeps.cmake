# Header-only libraries from Debian, made visible to every build through a
# build-local folder of symlinks, so the cross compiler never sees
# /usr/include itself.
set(KESTA_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${KESTA_THIRD_PARTY_INCLUDE})
foreach(dir nlohmann boost)
  if(NOT EXISTS /usr/include/${dir})
    message(FATAL_ERROR "/usr/include/${dir} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${dir} ${KESTA_THIRD_PARTY_INCLUDE}/${dir} SYMBOLIC)
endforeach()
add_library(third_party_headers INTERFACE)
target_include_directories(third_party_headers SYSTEM INTERFACE ${KESTA_THIRD_PARTY_INCLUDE})
if(WIN32)
  target_compile_definitions(third_party_headers INTERFACE BOOST_ASIO_NO_DEPRECATED _WIN32_WINNT=0x0A00)
  target_link_libraries(third_party_headers INTERFACE ws2_32 mswsock)
endif()
