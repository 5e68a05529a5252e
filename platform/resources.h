#pragma once
// Embedded resources and urls. A url is a file path, or "incbin::" followed by the name
// of a resource carried inside the program; the part before "::" is compared without
// regard to ASCII case. The game names its files "data\\name" (either slash); such a
// name is found in the first of the data folders that has it (DataFolders).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Registers a resource under a name. The bytes are not copied and must outlive the program.
void IncbinAdd(const std::string& name, const void* data, size_t size);

// The bytes of an embedded resource, or nullptr (and size 0) if none has that name.
const uint8_t* IncbinFind(const std::string& name, size_t* size);

// Reads the whole of a url into out. Returns false (out empty) if it cannot be read.
bool ReadUrl(const std::string& url, std::vector<uint8_t>& out);

// Whether a url names an embedded resource or a readable file.
bool UrlExists(const std::string& url);

// Splits "proto::rest" into its lower-cased protocol and the rest; a url without "::"
// has an empty protocol.
void SplitUrl(const std::string& url, std::string& proto, std::string& rest);

// Makes dir the one data folder (the --data option); "" goes back to searching. False
// (nothing changed) if dir is not a folder.
bool SetDataFolder(const std::string& dir);
// The data folders, in the order they are searched: the one set by SetDataFolder alone,
// or "data" beside the executable (a build tree), the share folder beside it (an
// installed or unpacked package: ../share/rc-whirlbat), the share folder of the
// configured install prefix, and "data" in the working folder.
const std::vector<std::string>& DataFolders();
// The path a file url stands for: a game file in its data folder (the first folder's if
// no folder has it), any other path as given with backslashes made slashes; "" for an
// embedded resource or an unknown protocol.
std::string UrlPath(const std::string& url);
