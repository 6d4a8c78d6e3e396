# CMake generated Testfile for 
# Source directory: /work/main/runtime
# Build directory: /work/main/build/debug/runtime
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
