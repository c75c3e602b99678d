# The 64-bit tree with the test programs: googletest and the test support use
# std::thread and std::mutex, which need the posix thread model. The shipped
# programs of this tree are built in a sub-build with mingw-x86_64.cmake.
set(HARVIN_MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-x86_64.cmake)
