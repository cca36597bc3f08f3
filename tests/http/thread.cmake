# Worker threads and the marshalling of their calls to the window thread.
shopscope_add_test(tst_auThread SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_auThread.cpp LIBS shopscope_http)
