#pragma once
// Input scripts for headless runs: keys, mouse, window events and virtual game pads,
// each applied when its frame or virtual time comes, through SDL's own event queue and
// virtual joysticks so the engine's real input path runs.
//
// One action per line, '#' starts a comment:  WHEN DEVICE CONTROL [VALUE...]
//   WHEN     fN (once the N-th Flip has returned; f0 at start) or tMS (clock at MS)
//   pads N                         (first line, no WHEN) virtual pads to attach at start
//   padP x|y|z|r VALUE             an axis, -1.0 .. 1.0
//   padP bN down|up                a game button
//   padP unplug|plug               pull the pad out or plug it back in
//   key esc|space|CODE down|up     CODE a virtual-key code
//   type TEXT                      each character typed: its key down, its text, its key up
//   mouse move X Y                 picture coordinates
//   mouse left down|up
//   window focus lost|gained
//   window close
#include <string>

// Reads and checks a script. False with a message naming the line on any error; a word
// of the script shown in the message is cut to 40 characters.
bool ScriptLoad(const std::string& path, std::string* error);
// Attaches the script's virtual pads; call before the pads are first counted.
void ScriptAttachPads();
// Applies every action whose time has come by the frames presented and the clock, in
// the order of the script. Called by the event pump; it costs what it applies, however
// long the script is.
void ScriptPoll(int frames_presented, int now_ms);
bool ScriptActive();
// Whether actions timed by the clock are still to come (a frame-timed action cannot
// end a wait in which no frame is drawn).
bool ScriptHasTimedActions();
// Detaches the virtual pads.
void ScriptShutdown();
