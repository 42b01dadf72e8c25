# The cross build has no GoogleTest package: it builds Debian's sources (package googletest,
# /usr/src/googletest) with the cross compiler, under the names the package would give.
set(ORLENWAY_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${ORLENWAY_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are missing: install the Debian package googletest")
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ORLENWAY_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Warnings in GoogleTest's own headers are not the project's.
foreach(t gtest gmock)
  get_target_property(dirs ${t} INTERFACE_INCLUDE_DIRECTORIES)
  set_target_properties(${t} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${dirs}")
endforeach()
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gmock ALIAS gmock)
endif()
