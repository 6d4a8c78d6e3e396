# CMake generated Testfile for 
# Source directory: /work/main/gfx
# Build directory: /work/main/build/debug/gfx
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
