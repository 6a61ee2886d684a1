# Cross-build for 64-bit Windows: Wine runs this build in the end-to-end tests.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
