#pragma once
// Writing a whole file so that readers see either the old file or the new
// one, never a part of it.

#include <cstdint>
#include <span>
#include <string>

namespace pv {

// Writes Bytes to FileName through a temporary file in the same folder that
// is renamed over FileName once complete, so a failure never leaves a
// truncated or half-written file. Raises EStreamError naming the file.
void WriteFileAtomically(const std::string& FileName, std::span<const std::uint8_t> Bytes);

}  // namespace pv
