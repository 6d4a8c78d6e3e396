# CMake generated Testfile for 
# Source directory: /work/main/intro
# Build directory: /work/main/build/debug/intro
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
