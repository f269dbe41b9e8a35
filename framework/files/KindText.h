#pragma once
#include "framework/files/FolderItem.h"
#include "framework/streams/MemoryBlock.h"

#include <optional>
#include <string>

namespace framework {

// The description, in the user's language, of the MIME type a file name matches (the file is never
// read), at most 63 bytes cut at a character boundary; none when no type matches. Safe on any thread.
std::optional<std::string> KindOfFileName(const std::string& name);

// The kind of a file: its KindByName. On success writes it as a length-prefixed string at offset 0
// of `buffer` (Size() >= 64) and returns 0. A name with no known type, or a buffer too small,
// returns non-zero and leaves the buffer as it was.
int GetDocumentKindString(const FolderItem& item, MemoryBlock& buffer);

}  // namespace framework
