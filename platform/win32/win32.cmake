# The Windows side of the platform layer, included from platform/CMakeLists.txt.
add_library(kestra32_platform STATIC
  win32/platform_win32.cpp
  win32/files_win32.cpp
  win32/replace_steps.cpp
  win32/registry_win32.cpp)
target_link_libraries(kestra32_platform PUBLIC user32 advapi32)

# The start-up code and the little of a C runtime that the program needs. The
# executable links no runtime library but libgcc (arithmetic helpers and stack
# probes), so that it imports from KERNEL32, USER32 and ADVAPI32 alone. It comes
# last on the link line, after everything that needs it.
add_library(kestra32_start OBJECT
  win32/main.cpp
  win32/c_runtime.cpp
  win32/command_tail.cpp
  win32/version.rc)
set_source_files_properties(win32/c_runtime.cpp PROPERTIES
  COMPILE_OPTIONS "-fno-builtin;-fno-tree-loop-distribute-patterns")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # Windows 95 is Windows 4.0: its loader refuses a later subsystem version.
  # 32-bit C names carry a leading underscore.
  target_link_options(kestra32_start INTERFACE -Wl,-e,_KestraStart
    -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
else()
  target_link_options(kestra32_start INTERFACE -Wl,-e,KestraStart -Wl,--subsystem,windows)
endif()
target_link_options(kestra32_start INTERFACE -nostdlib -Wl,--gc-sections)
target_link_libraries(kestra32_start INTERFACE gcc kernel32 user32 advapi32)
