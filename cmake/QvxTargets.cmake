# Shared compile settings for the project's own targets.

# Headers are included by their path from the top folder ("QVxCore/ReportData/ReportData.h"),
# but a target sees only the folders of the libraries it links: each library publishes
# its own top folder through a folder of the build tree that holds nothing but a link to
# it. An include that reaches a layer above (or beside) fails to compile.

# qvx_folder_include_root(folder): the build-tree folder that shows only `folder`.
function(qvx_folder_include_root folder out)
  set(root ${PROJECT_BINARY_DIR}/include-roots/${folder})
  if(NOT EXISTS ${root}/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  set(${out} ${root} PARENT_SCOPE)
endfunction()

# qvx_publish_folder(target folder [PRIVATE]): `target` (and, unless PRIVATE, everything
# that links it) may include the headers under the top folder `folder`.
function(qvx_publish_folder target folder)
  qvx_folder_include_root(${folder} root)
  set(scope PUBLIC)
  if(ARGN STREQUAL "PRIVATE")
    set(scope PRIVATE)
  endif()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

function(qvx_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # In a unity build each source is included by the generated one, so g++ takes a test
    # fixture in a source's anonymous namespace for one declared in a header and warns about
    # every test derived from it; the same sources built one by one do not warn.
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
  endif()
  if(QVX_BUILD_FUZZERS)
    # Coverage for libFuzzer and both sanitizers in every target; the fuzz programs add
    # libFuzzer's main themselves (fuzz/CMakeLists.txt).
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  elseif(QVX_SANITIZE STREQUAL "address")
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(${target} PUBLIC -fsanitize=address,undefined)
  elseif(QVX_SANITIZE STREQUAL "thread")
    target_compile_options(${target} PRIVATE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(${target} PUBLIC -fsanitize=thread)
  endif()
endfunction()

# qvx_shared_core_library(target): the core libraries QVxCore and QVxWinCommon are shared
# libraries whose whole interface is their headers (classes, free functions, templates and
# inline functions with statics), so they keep every symbol visible instead of marking each
# one; every other binary keeps hidden symbols. Nothing interposes them, so calls inside a
# library stay direct and inlinable (-fno-semantic-interposition). The installed copy finds
# its neighbours through $ORIGIN.
function(qvx_shared_core_library target)
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET default VISIBILITY_INLINES_HIDDEN OFF)
  target_compile_options(${target} PRIVATE -fno-semantic-interposition)
  set_property(TARGET ${target} APPEND PROPERTY INSTALL_RPATH "$ORIGIN")
  qvx_self_contained_library(${target})
endfunction()

# qvx_self_contained_library(target): a shared library that leaves a symbol undefined
# fails to link (-z defs), so it loads into any program that links it alone. Not in the
# sanitizer and fuzzing trees, where the sanitizer runtime resolves its hooks at load time.
function(qvx_self_contained_library target)
  if(NOT QVX_BUILD_FUZZERS AND QVX_SANITIZE STREQUAL "")
    target_link_options(${target} PRIVATE -Wl,-z,defs)
  endif()
endfunction()

# qvx_add_test(NAME source... LIBS lib... [LABELS label...])
# One GoogleTest executable registered with CTest, test by test. A program named in
# QVX_THREADED_TESTS also gets the label "threaded".
function(qvx_add_test name)
  if(NOT QVX_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  qvx_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  # The texts follow the locale (LC_ALL, LC_MESSAGES, LANG); tests see the default
  # Japanese ones whatever the developer's locale is.
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ENVIRONMENT_MODIFICATION "LC_ALL=set:C.UTF-8")
  if(name IN_LIST QVX_THREADED_TESTS)
    list(APPEND T_LABELS threaded)
  endif()
  if(T_LABELS)
    # gtest_discover_tests passes a property's value on as one word: several labels become
    # one, "slow,threaded", which `ctest -L slow` and `ctest -L threaded` both select (-L
    # takes a regular expression).
    string(JOIN "," labels ${T_LABELS})
    list(APPEND props LABELS "${labels}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# qvx_add_bench(NAME source... LIBS lib...): a Google Benchmark program, never run by ctest.
function(qvx_add_bench name)
  if(NOT QVX_BUILD_BENCH)
    return()
  endif()
  cmake_parse_arguments(B "" "" "LIBS" ${ARGN})
  add_executable(${name} ${B_UNPARSED_ARGUMENTS})
  qvx_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  qvx_publish_folder(${name} bench PRIVATE)
endfunction()

# qvx_add_layering_probe(NAME LIBRARY HEADER): a test that passes when a file of a target
# linking LIBRARY cannot include HEADER, a header of a layer above it. The probe is built
# only by the test, and must fail for the header alone, not for anything inside it.
function(qvx_add_layering_probe name library header)
  if(NOT QVX_BUILD_TESTS)
    return()
  endif()
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  file(CONFIGURE OUTPUT ${source} CONTENT "#include \"${header}\"\n")
  add_library(${name} OBJECT EXCLUDE_FROM_ALL ${source})
  qvx_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${library})
  add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} --build ${PROJECT_BINARY_DIR} --target ${name})
  string(REGEX REPLACE "([.+])" "\\\\\\1" pattern "${header}")
  set_tests_properties(${name} PROPERTIES PASS_REGULAR_EXPRESSION "${pattern}: No such file or directory")
endfunction()

# The installed programs, their shared libraries and their data live in one private
# folder below the prefix; bin/ holds symbolic links to the programs.
set(QVX_INSTALL_PRIVATEDIR lib/qvplus-analog)

# qvx_install_program_link(target): installs bin/<target> as a relative symbolic link to
# the program in QVX_INSTALL_PRIVATEDIR (component "programs").
function(qvx_install_program_link target)
  set(link ${PROJECT_BINARY_DIR}/install-links/${target})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/install-links)
  file(CREATE_LINK ../${QVX_INSTALL_PRIVATEDIR}/${target} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION bin COMPONENT programs)
endfunction()
