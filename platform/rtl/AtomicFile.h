#pragma once
// Crash-safe writing of a whole file: a picture or a form either appears
// complete under its name or not at all, whatever happens to the process or
// the machine while it is written.

#include <cstdint>
#include <span>
#include <string>

namespace pv {

// Writes Bytes to FileName. The bytes go to a temporary file in the same
// folder (".<name>.tmp-<process id>-XXXXXX"), which is flushed to the disk
// (fsync), renamed over FileName and followed by an fsync of the folder, so
// the new name survives a power cut too. A failure removes the temporary
// file and leaves FileName as it was.
//
// Temporary files of FileName left behind by an earlier writer that was
// killed are removed first: those whose process is gone and which no one
// holds locked. Nothing else in the folder is touched, not even the
// temporary files of other targets.
//
// Raises EStreamError "Cannot write <FileName>: <reason>".
void WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes);

}  // namespace pv
