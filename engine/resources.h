#pragma once
// Embedded resources and urls. A url is a path relative to the working folder, or
// "incbin::" followed by the name of a resource carried inside the program; the part
// before "::" is compared without regard to ASCII case.
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
