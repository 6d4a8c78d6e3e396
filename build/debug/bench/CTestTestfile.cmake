# CMake generated Testfile for 
# Source directory: /work/main/bench
# Build directory: /work/main/build/debug/bench
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
