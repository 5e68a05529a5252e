#pragma once
// An online match, a mode of the frame runner: the rollback session (session/net/
// net_session.h) is where a frame's input comes from, and it re-runs frames through the
// same advance when the other machine's inputs put a guess right. Each machine's own
// menus are drawn over the shared screen. The game both machines confirmed, frame by
// frame, is what the recorder keeps and the sync test checks, never the guesses on the
// screen. When the session is over, this machine goes on offline from the title.
#include <memory>

#include "session/mode.h"
#include "session/net/online_wait.h"

std::unique_ptr<Mode> online_match(OnlineStart start);
