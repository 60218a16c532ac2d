# Platform backends carry a suffix that names what they call (comm_device_linux.cpp,
# window_list_x11.cpp, clock_posix.cpp). A source without one of these suffixes is portable.
set(TRELLON_PLATFORM_SUFFIXES linux posix x11 cxxabi win32)
if(WIN32)
  set(TRELLON_PLATFORM win32)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(TRELLON_PLATFORM linux posix x11 cxxabi)
else()
  message(FATAL_ERROR "Trellon has backends for Linux only so far")
endif()

# The sources of the current folder: PORTABLE gives the files without a platform suffix, BACKENDS
# the files whose suffix is one of this platform's; files for other platforms are left out.
function(trellon_sources out)
  cmake_parse_arguments(ARG "PORTABLE;BACKENDS" "" "EXCLUDE" ${ARGN})
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(picked "")
  foreach(source IN LISTS all)
    get_filename_component(stem ${source} NAME_WE)
    get_filename_component(file ${source} NAME)
    if(file IN_LIST ARG_EXCLUDE)
      continue()
    endif()
    set(suffix "")
    foreach(candidate IN LISTS TRELLON_PLATFORM_SUFFIXES)
      if(stem MATCHES "_${candidate}$")
        set(suffix ${candidate})
      endif()
    endforeach()
    if(suffix STREQUAL "")
      if(ARG_PORTABLE)
        list(APPEND picked ${source})
      endif()
    elseif(ARG_BACKENDS AND suffix IN_LIST TRELLON_PLATFORM)
      list(APPEND picked ${source})
    endif()
  endforeach()
  set(${out} ${picked} PARENT_SCOPE)
endfunction()

# Gives `target` the include root of the subsystem folder `folder` (src/<folder>) and nothing
# else: the headers are included as "<folder>/name.h" through a folder of the build tree that
# holds one link to src/<folder>. A library that includes a header of a subsystem it does not
# link fails to build.
function(trellon_include_root target scope folder)
  set(root ${PROJECT_BINARY_DIR}/include/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# One static library for the subsystem in the current folder. By default it holds the portable
# sources and this platform's backends; PORTABLE or BACKENDS keep only one kind, for a subsystem
# whose backends are a library of their own.
function(trellon_library name)
  cmake_parse_arguments(ARG "PORTABLE;BACKENDS" "" "DEPS;EXCLUDE" ${ARGN})
  if(NOT ARG_PORTABLE AND NOT ARG_BACKENDS)
    set(ARG_PORTABLE TRUE)
    set(ARG_BACKENDS TRUE)
  endif()
  set(kinds "")
  if(ARG_PORTABLE)
    list(APPEND kinds PORTABLE)
  endif()
  if(ARG_BACKENDS)
    list(APPEND kinds BACKENDS)
  endif()
  trellon_sources(sources ${kinds} EXCLUDE ${ARG_EXCLUDE})
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  add_library(${name} STATIC ${sources})
  trellon_include_root(${name} PUBLIC ${folder})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# One test executable per test folder, made of every .cpp in it. A folder with its own main.cpp
# (for a QApplication) uses it; the others use GoogleTest's main. A suite sees the headers of the
# libraries it links and the shared test code under tests/; every suite links the shared test
# support (tests/support: waits, temporary directories, child processes, ...).
function(trellon_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPS;PROPERTIES" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  set(main_lib GTest::gtest_main)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
    set(main_lib GTest::gtest)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} trellon_fakes trellon_test_support
                        GTest::gmock ${main_lib})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 180 ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${ARG_PROPERTIES})
endfunction()
