# CMake generated Testfile for 
# Source directory: /work/main/tests
# Build directory: /work/main/build/debug/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
add_test([=[runtime_test]=] "/work/main/build/debug/tests/runtime_test")
set_tests_properties([=[runtime_test]=] PROPERTIES  ENVIRONMENT "INTRO_SOURCE_DIR=/work/main" LABELS "gfx;" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;9;add_test;/work/main/tests/CMakeLists.txt;14;intro_test;/work/main/tests/CMakeLists.txt;0;")
add_test([=[screen_test]=] "/work/main/build/debug/tests/screen_test")
set_tests_properties([=[screen_test]=] PROPERTIES  ENVIRONMENT "INTRO_SOURCE_DIR=/work/main" LABELS "gfx;threaded" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;9;add_test;/work/main/tests/CMakeLists.txt;15;intro_test;/work/main/tests/CMakeLists.txt;0;")
