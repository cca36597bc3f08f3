# The HTTP engine (auHTTP) against the scripted server on 127.0.0.1, by theme.
foreach(theme "" Request Control)
  shopscope_add_test(tst_auHTTP${theme}
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_auHTTP${theme}.cpp ${CMAKE_CURRENT_SOURCE_DIR}/HTTPEventLog.h
    LIBS shopscope_http shopscope_testsupport)
endforeach()
