// `zentrova-editor --live`: the editor's window on a live session (tools/live): the effect played
// through JACK with the window's edits and MIDI meeting at the instance's listener.
#pragma once

namespace zentrova_editor {

// True for `--live` anywhere on the command line, and for a bare start under a session manager
// (NSM_URL set), which starts its clients by name alone.
bool wants_live_mode(int argc, char **argv);

// Parses the live options and runs until the window closes (or, under a session manager, until
// the manager ends the program); answers the exit status.
int run_live_mode(int argc, char **argv);

}  // namespace zentrova_editor
