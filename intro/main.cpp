#include "intro/flow.hpp"

int main(int argc, char** argv) { return intro::run(argc, argv); }
