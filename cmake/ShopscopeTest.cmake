# shopscope_add_test(NAME SOURCES src... LIBS lib... [GUI] [TIMEOUT s])
#
# One QtTest executable per unit or behaviour. Plain tests run without a
# display; GUI tests get the offscreen platform, so CTest needs no X server.
function(shopscope_add_test name)
  cmake_parse_arguments(T "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE SHOPSCOPE_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env "QT_QPA_PLATFORM=offscreen")
  if(T_GUI)
    # The engine's GPU process has no GPU here; software drawing is what CI has.
    list(APPEND env "QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-first-run --disable-background-networking --disable-component-update")
    set_tests_properties(${name} PROPERTIES LABELS gui RUN_SERIAL ON)
  endif()
  # Each test gets a private HOME so browser profiles and XDG folders never
  # touch the user's own.
  list(APPEND env "HOME=${CMAKE_CURRENT_BINARY_DIR}/home-${name}"
                  "XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/home-${name}/.local/share"
                  "XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/home-${name}/.config"
                  "XDG_CACHE_HOME=${CMAKE_CURRENT_BINARY_DIR}/home-${name}/.cache")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()
