// Where the configuration stream of a launcher executable begins, found by the launcher's own header
// walk (behind the raw data of the last entry of the section table), and the header fields the packer
// rewrites besides.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "config/stream_reader.h"

namespace brolt::pack {

struct StubLayout {
    brolt::stream::ImageLayout headers;  // the launcher's walk; headers.streamStart: where a stream goes
    uint64_t securityEntryOffset = 0;    // file offset of the security data directory entry; 0 when absent
    uint32_t securityAddress = 0;        // file offset of the code signature; 0 when unsigned
    uint32_t securitySize = 0;
    uint64_t checksumOffset = 0;  // file offset of the image checksum; 0 when the header is too short
    uint16_t machine = 0;         // the file header's machine field
};

// Walks the headers as the launcher does, then reads the signature and checksum fields; throws
// PackError (file name `name`) when the bytes are not a Windows executable or the headers point outside
// the file.
StubLayout stubLayout(std::span<const uint8_t> image, const std::string& name);

// The executable without whatever follows its last section (an old stream, a code signature), with
// the security directory entry cleared, ready to take a new stream. Either launcher is a stub, the
// 32-bit or the 64-bit one; an executable built for any other machine is refused (PackError).
std::vector<uint8_t> prepareStub(std::span<const uint8_t> image, const std::string& name);

// The machine an executable is built for, as `inspect` names it: "i386 (32-bit launcher)", "x86-64
// (64-bit launcher)", "0xAA64 (no launcher is built for it)", or "unknown (<why>)".
std::string machineDescription(std::span<const uint8_t> image);

// Stores the image checksum of the finished file (the header field loaders and signing tools check),
// since appending a stream changes it. Throws PackError like stubLayout.
void updateChecksum(std::vector<uint8_t>& image, const std::string& name);

}  // namespace brolt::pack
