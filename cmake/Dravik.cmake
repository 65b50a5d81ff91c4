# Build helpers shared by every folder.

# dravik_add_resources(TARGET [SYMBOL NAME] TYPE NAME FILE [TYPE NAME FILE ...])
# Compiles the files into TARGET's resource table, found at run time through the module's handle
# (platform/resources.h). FILE is relative to the calling folder. With SYMBOL the table gets that
# name instead, stays inside the module and is used through findResourceIn(): for a library's own
# copy of resources that a program carries too, so that no two modules export the same table.
function(dravik_add_resources target)
  set(items ${ARGN})
  set(symbol_args)
  set(suffix "")
  list(GET items 0 first)
  if(first STREQUAL "SYMBOL")
    list(GET items 1 symbol)
    list(REMOVE_AT items 0 1)
    set(symbol_args --symbol ${symbol})
    set(suffix "_${symbol}")
  endif()
  set(args)
  set(deps)
  list(LENGTH items n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 3)
    math(EXPR j "${i} + 1")
    math(EXPR k "${i} + 2")
    list(GET items ${i} type)
    list(GET items ${j} name)
    list(GET items ${k} path)
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND args ${type} ${name} ${path})
    list(APPEND deps ${path})
  endforeach()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources${suffix}.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND dravik-rc ${out} ${symbol_args} ${args}
    DEPENDS dravik-rc ${deps}
    COMMENT "Resources of ${target}")
  target_sources(${target} PRIVATE ${out})
  target_link_libraries(${target} PRIVATE platform_core)
  get_target_property(kind ${target} TYPE)
  if(kind STREQUAL "EXECUTABLE" AND NOT symbol_args)
    # The program's own table must be visible to dlsym.
    target_link_options(${target} PRIVATE "LINKER:--export-dynamic-symbol=dravik_resource_table")
  endif()
endfunction()

# dravik_add_test(NAME SOURCES ... [LIBS ...])
# A GoogleTest program in build/bin, its tests registered with CTest one by one.
function(dravik_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} dravik_testsupport GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
