#pragma once
// The reference for the engine's benchmarks: the least a single thread has to do to run the
// same device exchange (link, authorise, then a command or a file upload) against the same
// servers, written straight on non-blocking sockets and one epoll set. Each connection takes a
// server round robin and serves that server's devices one after another, like an actor.

#include <cstdint>
#include <vector>

struct Reference_server {
    uint16_t port;
    std::vector<uint64_t> imeis;
};

struct Reference_job {
    bool upload = false;
    unsigned char command_code = 1;
    const unsigned char* file = nullptr; // upload only
    uint32_t file_size = 0;
    uint32_t file_crc = 0;
    char name[11] = "FIRMWARE";
    char pin[5] = "1234";
};

struct Reference_result {
    uint64_t succeeded = 0;
    uint64_t failed = 0;
    uint64_t connections = 0; // opened in all
    bool ok = false;          // false: a socket call failed outright
};

Reference_result run_reference(const std::vector<Reference_server>& servers, unsigned connections,
                               const Reference_job& job);
