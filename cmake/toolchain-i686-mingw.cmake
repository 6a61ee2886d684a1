# Cross-build for 32-bit Windows: the program that Windows 95 runs.
set(CMAKE_SYSTEM_PROCESSOR i686)
# The machines it is for carry a Pentium, Pentium MMX or K6, which lack the
# Pentium Pro's conditional moves.
set(mingw_cpu_flags -march=i586)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
