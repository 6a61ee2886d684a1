# The Windows side of the platform layer, included from platform/CMakeLists.txt.
add_library(kestra32_platform STATIC
  win32/platform_win32.cpp
  win32/files_win32.cpp
  win32/registry_win32.cpp)
# Linked as an object, ahead of the runtime libraries, so that it stands in
# for the threading library.
add_library(kestra32_single_thread OBJECT win32/single_thread.cpp)
target_link_libraries(kestra32_platform
  PUBLIC user32 advapi32
  INTERFACE $<TARGET_OBJECTS:kestra32_single_thread>)
# The objects are only named on the link line, which orders no build step.
add_dependencies(kestra32_platform kestra32_single_thread)
