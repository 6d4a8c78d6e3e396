// The intro's spine: start-up, the two scenes in order, shutdown.
#pragma once

namespace intro {

// Runs the whole intro on the screen that opens and returns the process's
// exit status: 0 after Escape in the demo scene; 1, with one line on standard
// error naming each display back end tried and why it failed, when no screen
// can be opened (the demo loop could never see Escape on a blind run).
// Pictures are read from the working directory. Program thread.
int run(int argc, char** argv);

// Where the run is, for tools that script input against a driven clock.
enum class Stage { Startup, Noise, Boot, DemoSetup, Demo, Shutdown, Ended };
Stage current_stage();

}  // namespace intro
