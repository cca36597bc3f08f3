# The shared utilities (auUtils) and the platform units behind them.
shopscope_add_test(tst_auUtils
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_auUtils.cpp ${CMAKE_CURRENT_SOURCE_DIR}/EnvironmentScope.h
          ${CMAKE_CURRENT_SOURCE_DIR}/RecordingLauncher.h
  LIBS shopscope_http)
qt_add_resources(tst_auUtils utils_fixtures
  PREFIX /AUTEST
  BASE ${PROJECT_SOURCE_DIR}/tests/data/utils
  FILES ${PROJECT_SOURCE_DIR}/tests/data/utils/helper.txt ${PROJECT_SOURCE_DIR}/tests/data/utils/empty.txt)

shopscope_add_test(tst_MimeAssociations
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_MimeAssociations.cpp ${CMAKE_CURRENT_SOURCE_DIR}/EnvironmentScope.h
          ${CMAKE_CURRENT_SOURCE_DIR}/RecordingLauncher.h
  LIBS shopscope_http)

# Random and mutated inputs to the text parsers; bounded by count and time.
shopscope_add_test(tst_parsersFuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_parsersFuzz.cpp ${CMAKE_CURRENT_SOURCE_DIR}/EnvironmentScope.h
  LIBS shopscope_http)
