# Tests of the COM/DirectShow layer itself (the capture library's tests
# cover it further through the library).
kelvrane_test(directshow_test SOURCES directshow_test.cpp LIBRARIES kelvrane_platform_directshow)
