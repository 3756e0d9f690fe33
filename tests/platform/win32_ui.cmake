kelvrane_test(win32_ui_test SOURCES win32_ui_test.cpp LIBRARIES kelvrane_platform_ui LABELS tsan)
