#pragma once
// A host's name turned into its IPv4 address on a thread of its own, so that a name
// server that never answers holds up nothing: the caller starts the lookup, goes on
// drawing and reading keys, and looks again. A lookup no longer wanted is abandoned,
// never waited for; its thread ends when the system's resolver gives up. An address
// typed as numbers needs no thread.
#include <cstdint>
#include <memory>
#include <string>

class NameLookup {
public:
    explicit NameLookup(const std::string& host);
    ~NameLookup();
    NameLookup(const NameLookup&) = delete;
    NameLookup& operator=(const NameLookup&) = delete;

    const std::string& host() const { return host_; }
    bool done() const;
    // Once done: the address in host byte order, or 0 if the name has none.
    uint32_t ip() const;

    struct Shared;

private:
    std::string host_;
    std::shared_ptr<Shared> shared_;
};
