# Tests of the cross-built Windows executables, run from the host build. Each
# is registered only when the path of its executable is given, and ./test
# always gives both.
set(KESTRA32_WIN32_EXE "" CACHE FILEPATH "The i686 KESTRA32.EXE that is checked and packed")
set(KESTRA32_WIN64_EXE "" CACHE FILEPATH "The x86-64 KESTRA32.EXE that Wine runs")

if(KESTRA32_TESTS AND NOT WIN32)
  if(KESTRA32_WIN32_EXE)
    add_test(NAME windows95_imports
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/check_imports.sh i686-w64-mingw32-objdump
              ${KESTRA32_WIN32_EXE} ${CMAKE_SOURCE_DIR}/platform/win32/windows95_imports.txt)
    add_test(NAME windows95_exe
      COMMAND ${CMAKE_SOURCE_DIR}/scripts/check_windows95_exe.sh i686-w64-mingw32-objdump
              ${KESTRA32_WIN32_EXE})
  endif()
  if(KESTRA32_WIN64_EXE)
    foreach(mode patch help)
      add_test(NAME wine_${mode}
        COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine_test.sh ${mode} ${KESTRA32_WIN64_EXE}
                $<TARGET_FILE:kestra32> ${CMAKE_SOURCE_DIR}/examples/WINDOWS/INF
                ${CMAKE_BINARY_DIR}/wine/${mode})
      set_tests_properties(wine_${mode} PROPERTIES LABELS wine TIMEOUT 1200)
    endforeach()
  endif()
endif()
