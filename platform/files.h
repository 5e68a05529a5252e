#pragma once
// Files written to keep, and the folders they are kept in, the same on every system (a
// back end for each: files_posix.cpp, files_win32.cpp). A file is made new and held
// while it is written, so that no other program takes it for one a crash left behind;
// its bytes reach the disk before it takes its final name; and that name is taken in one
// step, over any file that had it. Paths are UTF-8 with '/' between folders.
//
// Calls that fail set errno (EEXIST where a file that must be new is there already).
#include <cstddef>
#include <cstdint>
#include <string>

// A file held open for writing or reading; NO_FILE for none.
using HeldFile = int64_t;
constexpr HeldFile NO_FILE = -1;

// Makes the file for writing, held against other programs' FileOpenIfFree. With
// `exclusive` only a file that does not exist yet; otherwise one there is emptied.
HeldFile FileCreateHeld(const std::string& path, bool exclusive);
// Opens a file for reading and holds it, unless another program holds it (NO_FILE then,
// and for a file that cannot be opened).
HeldFile FileOpenIfFree(const std::string& path);
// Writes all of the bytes; false if they could not all be written.
bool FileWriteAll(HeldFile file, const void* data, size_t size);
// The file's bytes on the disk, not only in the system's cache. A file system that
// cannot (EINVAL) counts as done.
bool FileSyncToDisk(HeldFile file);
bool FileClose(HeldFile file);
// Gives the file `from` the name `to` in one step, over any file that had it.
bool FileMoveOver(const std::string& from, const std::string& to);
// The folder's list of names on the disk (a name just taken survives a power cut);
// nothing where the system keeps it so by itself.
void FolderSyncToDisk(const std::string& folder);
// Makes a folder and the ones above it; true if it is there.
bool FolderMake(const std::string& dir);
// The file a path names, through any symbolic links (a link's target is read and
// written, the link left as it is).
std::string FileThroughLinks(const std::string& path);
// A number for names of temporary files that no other running program uses.
long ProcessNumber();

// The game's own folder for each kind of file the player keeps, made by whoever first
// writes there, or "" where the system names none:
//  settings  Linux $XDG_CONFIG_HOME/rc-whirlbat (~/.config/...); Windows %APPDATA%\RC Whirlbat
//  games     recorded games: Linux $XDG_DATA_HOME/rc-whirlbat (~/.local/share/...);
//            Windows the user's Saved Games\RC Whirlbat (%LOCALAPPDATA%\RC Whirlbat
//            where there is none)
//  state     what the game keeps for itself (online games' records): Linux
//            $XDG_STATE_HOME/rc-whirlbat (~/.local/state/...); Windows %LOCALAPPDATA%\RC Whirlbat
enum class UserFolder { settings, games, state };
std::string UserFolderPath(UserFolder which);
